/* Controls of the Windows stand-in that have no Windows counterpart: hosts
 * and tests use them to choose the ANSI code page and to provoke failures. */
#pragma once
#include "windows.h"

/* Sets the ANSI code page of every thread (GetACP, CP_ACP, CP_THREAD_ACP and
 * LOCALE_IDEFAULTANSICODEPAGE). 0 goes back to the process locale's code
 * page, which is what applies until this is called (UTF-8 when the locale
 * names no code page this stand-in knows). Returns FALSE for a code page the
 * stand-in cannot convert. */
EXTERN_C WIN32_COMPAT_API BOOL Win32CompatSetAnsiCodePage(UINT codePage);

/* The calling thread's COM initialisation depth (successful CoInitialize
 * calls not yet balanced by CoUninitialize). */
EXTERN_C WIN32_COMPAT_API LONG Win32CompatComInitDepth(void);

/* Makes the calling thread's BSTR and SAFEARRAY allocations fail (return
 * null) once `successes` more of them have succeeded; -1 turns it off. */
EXTERN_C WIN32_COMPAT_API void Win32CompatFailAllocationsAfter(LONG successes);

/* Number of BSTRs and SAFEARRAYs allocated and not yet freed, process-wide:
 * leak checks compare it before and after a call. */
EXTERN_C WIN32_COMPAT_API LONG Win32CompatLiveStrings(void);
EXTERN_C WIN32_COMPAT_API LONG Win32CompatLiveArrays(void);
