/* Controls of the ADSI stand-in that have no Windows counterpart: hosts and
 * tests use them to choose the embedded directory and to provoke failures. */
#ifndef QUARLIX_COMPAT_ADSI_COMPAT_H
#define QUARLIX_COMPAT_ADSI_COMPAT_H
#include "windows.h"

#ifndef ADSI_COMPAT_API
#if defined(__GNUC__)
#define ADSI_COMPAT_API __attribute__((visibility("default")))
#else
#define ADSI_COMPAT_API
#endif
#endif

/* Mounts an LDIF file as the embedded default directory of the process (serverless LDAP:// paths bind to it). On failure returns a failing HRESULT and writes a one-line reason ("FILE:LINE: reason") into errorText. */
EXTERN_C ADSI_COMPAT_API HRESULT AdsCompatMountLdif(const char* path, char* errorText, size_t errorTextSize);
EXTERN_C ADSI_COMPAT_API void AdsCompatUnmount(void);
/* Fault injection: make the named operation fail with `result` (see adsi_compat.h for names); AdsCompatClearFaults removes all. */
EXTERN_C ADSI_COMPAT_API BOOL AdsCompatSetFault(const char* operation, HRESULT result);
EXTERN_C ADSI_COMPAT_API void AdsCompatClearFaults(void);

#endif
