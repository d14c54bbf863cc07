/* ADSI helper functions, as published. */
#pragma once
#include "adsi_api.h"
#include "windows.h"

EXTERN_C ADSI_COMPAT_API HRESULT WINAPI ADsGetObject(LPCWSTR lpszPathName, REFIID riid, VOID** ppObject);
EXTERN_C ADSI_COMPAT_API HRESULT WINAPI ADsEnumerateNext(IEnumVARIANT* pEnumVariant, ULONG cElements, VARIANT* pvar,
                                                         ULONG* pcElementsFetched);
EXTERN_C ADSI_COMPAT_API HRESULT WINAPI ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar);
EXTERN_C ADSI_COMPAT_API HRESULT WINAPI ADsBuildEnumerator(struct IADsContainer* pADsContainer,
                                                           IEnumVARIANT** ppEnumVariant);
EXTERN_C ADSI_COMPAT_API HRESULT WINAPI ADsFreeEnumerator(IEnumVARIANT* pEnumVariant);
EXTERN_C ADSI_COMPAT_API LPVOID WINAPI AllocADsMem(DWORD cb);
EXTERN_C ADSI_COMPAT_API BOOL WINAPI FreeADsMem(LPVOID pMem);
EXTERN_C ADSI_COMPAT_API LPWSTR WINAPI AllocADsStr(LPCWSTR pStr);
EXTERN_C ADSI_COMPAT_API BOOL WINAPI FreeADsStr(LPWSTR pStr);
