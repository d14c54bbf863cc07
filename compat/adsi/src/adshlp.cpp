// The published ADSI helper functions.
#include "adshlp.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "adserr.h"
#include "adsi_compat.h"
#include "ads_path.h"
#include "com/ads_object.h"
#include "faults.h"
#include "iads.h"

namespace {

std::atomic<long> g_liveAdsMem{0};
const WCHAR kEmpty[1] = {0};

}  // namespace

HRESULT WINAPI ADsGetObject(LPCWSTR path, REFIID riid, VOID** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (auto fault = adsi::faults::check("ADsGetObject")) return *fault;
  if (!path || !*path) return E_ADS_BAD_PATHNAME;
  adsi::AdsPath parsed;
  HRESULT hr = adsi::parseAdsPath(path, parsed);
  if (FAILED(hr)) return hr;
  return adsi::AdsObject::bind(parsed, riid, object);
}

HRESULT WINAPI ADsEnumerateNext(IEnumVARIANT* enumerator, ULONG count, VARIANT* elements, ULONG* fetched) {
  if (!enumerator) return E_POINTER;
  return enumerator->Next(count, elements, fetched);
}

HRESULT WINAPI ADsBuildVarArrayStr(LPWSTR* strings, DWORD count, VARIANT* result) {
  if (!result || (!strings && count)) return E_ADS_BAD_PARAMETER;
  VariantInit(result);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
  if (!array) return E_OUTOFMEMORY;
  VARIANT* elements = nullptr;
  HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&elements));
  for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
    elements[i].vt = VT_BSTR;
    elements[i].bstrVal = SysAllocString(strings[i] ? strings[i] : kEmpty);
    if (!elements[i].bstrVal) hr = E_OUTOFMEMORY;
  }
  if (elements) SafeArrayUnaccessData(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  result->vt = VT_ARRAY | VT_VARIANT;
  result->parray = array;
  return S_OK;
}

HRESULT WINAPI ADsBuildEnumerator(IADsContainer* container, IEnumVARIANT** enumerator) {
  if (!container || !enumerator) return E_POINTER;
  *enumerator = nullptr;
  IUnknown* unknown = nullptr;
  HRESULT hr = container->get__NewEnum(&unknown);
  if (FAILED(hr)) return hr;
  hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(enumerator));
  unknown->Release();
  return hr;
}

HRESULT WINAPI ADsFreeEnumerator(IEnumVARIANT* enumerator) {
  if (!enumerator) return E_POINTER;
  enumerator->Release();
  return S_OK;
}

// Zeroed blocks, as ADSI's are; the counter feeds AdsCompatLiveAdsMem.
LPVOID WINAPI AllocADsMem(DWORD size) {
  void* block = std::calloc(1, size ? size : 1);
  if (block) ++g_liveAdsMem;
  return block;
}

BOOL WINAPI FreeADsMem(LPVOID block) {
  if (!block) return FALSE;
  std::free(block);
  --g_liveAdsMem;
  return TRUE;
}

LPWSTR WINAPI AllocADsStr(LPCWSTR text) {
  if (!text) return nullptr;
  size_t length = 0;
  while (text[length]) ++length;
  auto* copy = static_cast<LPWSTR>(AllocADsMem(static_cast<DWORD>((length + 1) * sizeof(WCHAR))));
  if (copy) std::memcpy(copy, text, (length + 1) * sizeof(WCHAR));
  return copy;
}

BOOL WINAPI FreeADsStr(LPWSTR text) { return FreeADsMem(text); }

LONG AdsCompatLiveAdsMem(void) { return static_cast<LONG>(g_liveAdsMem.load()); }
