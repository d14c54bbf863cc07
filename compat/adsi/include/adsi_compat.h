/* Controls of the ADSI stand-in that have no Windows counterpart: hosts mount
 * the embedded directory, tests provoke failures and count what is alive.
 *
 * Fault names ("Interface::Method"), for AdsCompatSetFault: the operation
 * returns the armed HRESULT instead of doing its work.
 *   ADsGetObject
 *   IADs::GetInfo  IADs::get_Name  IADs::get_Class  IADs::get_GUID
 *   IADs::get_ADsPath  IADs::get_Parent  IADs::get_Schema
 *   <Object>::QueryInterface(<Interface>): QueryInterface fails for that
 *     interface and leaves the out pointer null. <Object> is the object's
 *     main interface: IADs (directory objects), IADsMembers, IEnumVARIANT,
 *     IADsPropertyEntry, IADsPropertyValue, IADsLargeInteger; <Interface> is
 *     the published name of the identifier asked for, e.g.
 *     "IADs::QueryInterface(IADsContainer)",
 *     "IADsLargeInteger::QueryInterface(IADsLargeInteger)".
 *   IADsObjectOptions::SetOption
 *   IADsContainer::put_Filter  IADsContainer::get__NewEnum
 *   IADsGroup::Members  IADsMembers::get__NewEnum
 *   IEnumVARIANT::Next
 *   IADsPropertyList::Next  IADsPropertyList::GetPropertyItem
 *   IADsPropertyEntry::get_Name  IADsPropertyEntry::get_ADsType
 *   IADsPropertyEntry::get_Values
 *   IADsPropertyValue::get_ADsType  IADsPropertyValue::get_<Getter> for
 *     DNString, CaseExactString, CaseIgnoreString, PrintableString,
 *     NumericString, Boolean, Integer, OctetString, LargeInteger, UTCTime
 *   IDirectorySearch::SetSearchPreference  IDirectorySearch::ExecuteSearch
 *   IDirectorySearch::GetNextRow  IDirectorySearch::GetNextColumnName
 *   IDirectorySearch::GetColumn  IDirectorySearch::CloseSearchHandle
 *
 * Odd values: the operation does its work but hands out an unusual value and
 * returns the armed HRESULT (usually S_OK):
 *   IEnumVARIANT::Next:notDispatch  the element is a VT_I4 (0), not a
 *     VT_DISPATCH
 *   IADsPropertyEntry::get_Values:notArray  the values are one VT_BSTR (the
 *     first value's text), not an array
 *   IADsPropertyEntry::get_Values:oddElement  the middle element of the array
 *     (index count/2) is a VT_I4 (0)
 *
 * Any other name is refused. Faults are process-wide; a test that arms them
 * runs its calls one at a time. */
#pragma once
#include "windows.h"

#ifndef ADSI_COMPAT_API
#if defined(_WIN32)
#define ADSI_COMPAT_API /* exported by name in activeds.def */
#elif defined(__GNUC__)
#define ADSI_COMPAT_API __attribute__((visibility("default")))
#else
#define ADSI_COMPAT_API
#endif
#endif

/* Mounts an LDIF file as the embedded default directory of the process
 * (serverless LDAP:// paths bind to it). On failure returns a failing HRESULT
 * and writes a one-line reason ("FILE:LINE: reason") into errorText; the
 * directory mounted before, if any, stays. */
EXTERN_C ADSI_COMPAT_API HRESULT AdsCompatMountLdif(const char* path, char* errorText, size_t errorTextSize);
/* The same from LDIF text in memory; `sourceName` stands for the file name in
 * error texts. */
EXTERN_C ADSI_COMPAT_API HRESULT AdsCompatMountLdifBuffer(const char* sourceName, const char* data, size_t size,
                                                          char* errorText, size_t errorTextSize);
/* Objects bound before keep their directory until released. */
EXTERN_C ADSI_COMPAT_API void AdsCompatUnmount(void);

/* A further server name the mounted directory answers to (besides the DNS
 * name of its DC= naming context and "localhost"); a path that names a port
 * always reaches the network. */
EXTERN_C ADSI_COMPAT_API BOOL AdsCompatAddServerName(const char* name);

/* Fault injection: make the named operation fail with `result`; FALSE, and
 * nothing armed, for a name that is not one of the operations listed above.
 * AdsCompatClearFaults removes all. */
EXTERN_C ADSI_COMPAT_API BOOL AdsCompatSetFault(const char* operation, HRESULT result);
/* The same, but the first `skipCalls` calls still succeed. */
EXTERN_C ADSI_COMPAT_API BOOL AdsCompatSetFaultAfter(const char* operation, HRESULT result, LONG skipCalls);
EXTERN_C ADSI_COMPAT_API void AdsCompatClearFaults(void);
/* The operations a fault can be armed on, by index from 0; NULL past the
 * last. QueryInterface comes once per object and interface. */
EXTERN_C ADSI_COMPAT_API const char* AdsCompatFaultOperation(size_t index);

/* Leak checks: COM objects, open search handles and unfreed search columns
 * alive now; blocks of AllocADsMem not yet freed. */
EXTERN_C ADSI_COMPAT_API LONG AdsCompatLiveObjects(void);
EXTERN_C ADSI_COMPAT_API LONG AdsCompatLiveAdsMem(void);
/* Pages the embedded directory's search cursors have fetched, process-wide:
 * shows that results are fetched page by page. */
EXTERN_C ADSI_COMPAT_API LONG AdsCompatPagesFetched(void);

/* Which directory and which server serverless paths (LDAP://DN,
 * LDAP://RootDSE) reach now, as one line for the host's administrator
 * ("serverless paths under DC=corp,DC=example,DC=com reach the embedded
 * directory FILE; RootDSE and the others reach ldap://dc1 (LDAPURI)"). Writes it, cut to
 * fit, into `text` (`size` bytes with the terminating zero) and returns its
 * whole length. */
EXTERN_C ADSI_COMPAT_API size_t AdsCompatDescribeServerlessPaths(char* text, size_t size);

#if !defined(_WIN32)
/* Whether the account of the Kerberos principal `principal` (name@REALM, the
 * sAMAccountName in the domain whose DNS name is REALM) is a member of the
 * group `groupDn`, directly or through groups in groups, as the LDAP server
 * serverless paths reach answers when bound with the host's own identity
 * (adsi.conf), never the embedded directory. S_OK: a member; S_FALSE: not; a
 * failure: the directory could not answer, and `reason` (`reasonSize` bytes
 * with the terminating zero, cut to fit) says why. Linux only. */
EXTERN_C ADSI_COMPAT_API HRESULT AdsCompatIsMemberOfGroup(const char* principal, const char* groupDn, char* reason,
                                                          size_t reasonSize);
#endif

/* Lines for the host's administrator (why a directory could not be used,
 * and with QUARLIX_ADSI_TRACE=1 each LDAP operation): by default each goes to
 * standard error with its line break. A host that routes them (a server that
 * tags them with the connection whose call is running) sets a sink: it gets
 * each line without its line break, on the thread of the call the line
 * concerns. NULL restores standard error. */
typedef void (*AdsCompatLineSink)(const char* line, void* context);
EXTERN_C ADSI_COMPAT_API void AdsCompatSetLineSink(AdsCompatLineSink sink, void* context);

#if !defined(_WIN32)
/* Until AdsCompatClearCaller() on this thread, every directory bind made for
 * a call on this thread is made as this caller: a GSSAPI credential
 * (gss_cred_id_t, borrowed: the caller keeps it alive until it clears) for
 * the Kerberos principal `principal`. No other identity rule may replace it;
 * if the bind as the caller fails, the call fails with that reason. The bind
 * is SASL GSSAPI, signed and sealed, on a connection without TLS (domain
 * controllers refuse it inside TLS). Linux only: on Windows a host
 * impersonates its caller instead. */
EXTERN_C ADSI_COMPAT_API void AdsCompatBindAsCaller(void* gssCredential, const char* principal);
EXTERN_C ADSI_COMPAT_API void AdsCompatClearCaller(void);
#endif
