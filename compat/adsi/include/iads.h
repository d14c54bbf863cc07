/* The published ADSI types and COM interfaces that the procedure calls, with
 * their methods in the published order. */
#pragma once
#include "adsi_api.h"
#include "windows.h"

typedef enum {
  ADSTYPE_INVALID = 0,
  ADSTYPE_DN_STRING,
  ADSTYPE_CASE_EXACT_STRING,
  ADSTYPE_CASE_IGNORE_STRING,
  ADSTYPE_PRINTABLE_STRING,
  ADSTYPE_NUMERIC_STRING,
  ADSTYPE_BOOLEAN,
  ADSTYPE_INTEGER,
  ADSTYPE_OCTET_STRING,
  ADSTYPE_UTC_TIME,
  ADSTYPE_LARGE_INTEGER,
  ADSTYPE_PROV_SPECIFIC,
  ADSTYPE_OBJECT_CLASS,
  ADSTYPE_CASEIGNORE_LIST,
  ADSTYPE_OCTET_LIST,
  ADSTYPE_PATH,
  ADSTYPE_POSTALADDRESS,
  ADSTYPE_TIMESTAMP,
  ADSTYPE_BACKLINK,
  ADSTYPE_TYPEDNAME,
  ADSTYPE_HOLD,
  ADSTYPE_NETADDRESS,
  ADSTYPE_REPLICAPOINTER,
  ADSTYPE_FAXNUMBER,
  ADSTYPE_EMAIL,
  ADSTYPE_NT_SECURITY_DESCRIPTOR,
  ADSTYPE_UNKNOWN,
  ADSTYPE_DN_WITH_BINARY,
  ADSTYPE_DN_WITH_STRING
} ADSTYPEENUM;
typedef ADSTYPEENUM ADSTYPE;

typedef LPWSTR ADS_DN_STRING;
typedef LPWSTR ADS_CASE_EXACT_STRING;
typedef LPWSTR ADS_CASE_IGNORE_STRING;
typedef LPWSTR ADS_PRINTABLE_STRING;
typedef LPWSTR ADS_NUMERIC_STRING;
typedef DWORD ADS_BOOLEAN;
typedef DWORD ADS_INTEGER;
typedef struct {
  DWORD dwLength;
  LPBYTE lpValue;
} ADS_OCTET_STRING, *PADS_OCTET_STRING;
typedef struct {
  DWORD dwLength;
  LPBYTE lpValue;
} ADS_NT_SECURITY_DESCRIPTOR, *PADS_NT_SECURITY_DESCRIPTOR;
typedef SYSTEMTIME ADS_UTC_TIME;
typedef LARGE_INTEGER ADS_LARGE_INTEGER;
typedef LPWSTR ADS_OBJECT_CLASS;
typedef struct {
  DWORD dwLength;
  LPBYTE lpValue;
} ADS_PROV_SPECIFIC, *PADS_PROV_SPECIFIC;
typedef struct _ADS_CASEIGNORE_LIST {
  struct _ADS_CASEIGNORE_LIST* Next;
  LPWSTR String;
} ADS_CASEIGNORE_LIST, *PADS_CASEIGNORE_LIST;
typedef struct _ADS_OCTET_LIST {
  struct _ADS_OCTET_LIST* Next;
  DWORD Length;
  BYTE* Data;
} ADS_OCTET_LIST, *PADS_OCTET_LIST;
typedef struct {
  DWORD Type;
  LPWSTR VolumeName;
  LPWSTR Path;
} ADS_PATH, *PADS_PATH;
typedef struct {
  LPWSTR PostalAddress[6];
} ADS_POSTALADDRESS, *PADS_POSTALADDRESS;
typedef struct {
  DWORD WholeSeconds;
  DWORD EventID;
} ADS_TIMESTAMP, *PADS_TIMESTAMP;
typedef struct {
  DWORD RemoteID;
  LPWSTR ObjectName;
} ADS_BACKLINK, *PADS_BACKLINK;
typedef struct {
  LPWSTR ObjectName;
  DWORD Level;
  DWORD Interval;
} ADS_TYPEDNAME, *PADS_TYPEDNAME;
typedef struct {
  LPWSTR ObjectName;
  DWORD Amount;
} ADS_HOLD, *PADS_HOLD;
typedef struct {
  DWORD AddressType;
  DWORD AddressLength;
  BYTE* Address;
} ADS_NETADDRESS, *PADS_NETADDRESS;
typedef struct {
  LPWSTR ServerName;
  DWORD ReplicaType;
  DWORD ReplicaNumber;
  DWORD Count;
  PADS_NETADDRESS ReplicaAddressHints;
} ADS_REPLICAPOINTER, *PADS_REPLICAPOINTER;
typedef struct {
  LPWSTR TelephoneNumber;
  DWORD NumberOfBits;
  LPBYTE Parameters;
} ADS_FAXNUMBER, *PADS_FAXNUMBER;
typedef struct {
  LPWSTR Address;
  DWORD Type;
} ADS_EMAIL, *PADS_EMAIL;
typedef struct {
  DWORD dwLength;
  LPBYTE lpBinaryValue;
  LPWSTR pszDNString;
} ADS_DN_WITH_BINARY, *PADS_DN_WITH_BINARY;
typedef struct {
  LPWSTR pszStringValue;
  LPWSTR pszDNString;
} ADS_DN_WITH_STRING, *PADS_DN_WITH_STRING;

typedef struct _adsvalue {
  ADSTYPE dwType;
  union {
    ADS_DN_STRING DNString;
    ADS_CASE_EXACT_STRING CaseExactString;
    ADS_CASE_IGNORE_STRING CaseIgnoreString;
    ADS_PRINTABLE_STRING PrintableString;
    ADS_NUMERIC_STRING NumericString;
    ADS_BOOLEAN Boolean;
    ADS_INTEGER Integer;
    ADS_OCTET_STRING OctetString;
    ADS_UTC_TIME UTCTime;
    ADS_LARGE_INTEGER LargeInteger;
    ADS_OBJECT_CLASS ClassName;
    ADS_PROV_SPECIFIC ProviderSpecific;
    PADS_CASEIGNORE_LIST pCaseIgnoreList;
    PADS_OCTET_LIST pOctetList;
    PADS_PATH pPath;
    PADS_POSTALADDRESS pPostalAddress;
    ADS_TIMESTAMP Timestamp;
    ADS_BACKLINK BackLink;
    PADS_TYPEDNAME pTypedName;
    ADS_HOLD Hold;
    PADS_NETADDRESS pNetAddress;
    PADS_REPLICAPOINTER pReplicaPointer;
    PADS_FAXNUMBER pFaxNumber;
    ADS_EMAIL Email;
    ADS_NT_SECURITY_DESCRIPTOR SecurityDescriptor;
    PADS_DN_WITH_BINARY pDNWithBinary;
    PADS_DN_WITH_STRING pDNWithString;
  };
} ADSVALUE, *PADSVALUE, *LPADSVALUE;

typedef enum { ADS_STATUS_S_OK = 0, ADS_STATUS_INVALID_SEARCHPREF, ADS_STATUS_INVALID_SEARCHPREFVALUE } ADS_STATUSENUM;
typedef ADS_STATUSENUM ADS_STATUS;

typedef enum { ADS_SCOPE_BASE = 0, ADS_SCOPE_ONELEVEL = 1, ADS_SCOPE_SUBTREE = 2 } ADS_SCOPEENUM;

typedef enum {
  ADS_SEARCHPREF_ASYNCHRONOUS = 0,
  ADS_SEARCHPREF_DEREF_ALIASES,
  ADS_SEARCHPREF_SIZE_LIMIT,
  ADS_SEARCHPREF_TIME_LIMIT,
  ADS_SEARCHPREF_ATTRIBTYPES_ONLY,
  ADS_SEARCHPREF_SEARCH_SCOPE,
  ADS_SEARCHPREF_TIMEOUT,
  ADS_SEARCHPREF_PAGESIZE,
  ADS_SEARCHPREF_PAGED_TIME_LIMIT,
  ADS_SEARCHPREF_CHASE_REFERRALS,
  ADS_SEARCHPREF_SORT_ON,
  ADS_SEARCHPREF_CACHE_RESULTS,
  ADS_SEARCHPREF_DIRSYNC,
  ADS_SEARCHPREF_TOMBSTONE,
  ADS_SEARCHPREF_VLV,
  ADS_SEARCHPREF_ATTRIBUTE_QUERY,
  ADS_SEARCHPREF_SECURITY_MASK,
  ADS_SEARCHPREF_DIRSYNC_FLAG,
  ADS_SEARCHPREF_EXTENDED_DN
} ADS_SEARCHPREF_ENUM;
typedef ADS_SEARCHPREF_ENUM ADS_SEARCHPREF;

typedef struct ads_searchpref_info {
  ADS_SEARCHPREF dwSearchPref;
  ADSVALUE vValue;
  ADS_STATUS dwStatus;
} ADS_SEARCHPREF_INFO, *PADS_SEARCHPREF_INFO, *LPADS_SEARCHPREF_INFO;

typedef HANDLE ADS_SEARCH_HANDLE;
typedef HANDLE* PADS_SEARCH_HANDLE;

typedef struct ads_search_column {
  LPWSTR pszAttrName;
  ADSTYPE dwADsType;
  PADSVALUE pADsValues;
  DWORD dwNumValues;
  HANDLE hReserved;
} ADS_SEARCH_COLUMN, *PADS_SEARCH_COLUMN;

typedef enum {
  ADS_OPTION_SERVERNAME = 0,
  ADS_OPTION_REFERRALS,
  ADS_OPTION_PAGE_SIZE,
  ADS_OPTION_SECURITY_MASK,
  ADS_OPTION_MUTUAL_AUTH_STATUS,
  ADS_OPTION_QUOTA,
  ADS_OPTION_PASSWORD_PORTNUMBER,
  ADS_OPTION_PASSWORD_METHOD,
  ADS_OPTION_ACCUMULATIVE_MODIFICATION
} ADS_OPTION_ENUM;

EXTERN_C ADSI_COMPAT_API const IID IID_IADs;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsContainer;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsMembers;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsGroup;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsPropertyList;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsPropertyEntry;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsPropertyValue;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsLargeInteger;
EXTERN_C ADSI_COMPAT_API const IID IID_IADsObjectOptions;
EXTERN_C ADSI_COMPAT_API const IID IID_IDirectorySearch;

#ifdef __cplusplus

struct IADs : public IDispatch {
  virtual HRESULT WINAPI get_Name(BSTR* retval) = 0;
  virtual HRESULT WINAPI get_Class(BSTR* retval) = 0;
  virtual HRESULT WINAPI get_GUID(BSTR* retval) = 0;
  virtual HRESULT WINAPI get_ADsPath(BSTR* retval) = 0;
  virtual HRESULT WINAPI get_Parent(BSTR* retval) = 0;
  virtual HRESULT WINAPI get_Schema(BSTR* retval) = 0;
  virtual HRESULT WINAPI GetInfo(void) = 0;
  virtual HRESULT WINAPI SetInfo(void) = 0;
  virtual HRESULT WINAPI Get(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT WINAPI Put(BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT WINAPI GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT WINAPI PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT WINAPI GetInfoEx(VARIANT vProperties, LONG lnReserved) = 0;
};

struct IADsContainer : public IDispatch {
  virtual HRESULT WINAPI get_Count(LONG* retval) = 0;
  virtual HRESULT WINAPI get__NewEnum(IUnknown** retval) = 0;
  virtual HRESULT WINAPI get_Filter(VARIANT* pVar) = 0;
  virtual HRESULT WINAPI put_Filter(VARIANT Var) = 0;
  virtual HRESULT WINAPI get_Hints(VARIANT* pvFilter) = 0;
  virtual HRESULT WINAPI put_Hints(VARIANT vHints) = 0;
  virtual HRESULT WINAPI GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
  virtual HRESULT WINAPI Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
  virtual HRESULT WINAPI Delete(BSTR bstrClassName, BSTR bstrRelativeName) = 0;
  virtual HRESULT WINAPI CopyHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) = 0;
  virtual HRESULT WINAPI MoveHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) = 0;
};

struct IADsMembers : public IDispatch {
  virtual HRESULT WINAPI get_Count(LONG* plCount) = 0;
  virtual HRESULT WINAPI get__NewEnum(IUnknown** ppEnumerator) = 0;
  virtual HRESULT WINAPI get_Filter(VARIANT* pvFilter) = 0;
  virtual HRESULT WINAPI put_Filter(VARIANT pvFilter) = 0;
};

struct IADsGroup : public IADs {
  virtual HRESULT WINAPI get_Description(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_Description(BSTR bstrDescription) = 0;
  virtual HRESULT WINAPI Members(IADsMembers** ppMembers) = 0;
  virtual HRESULT WINAPI IsMember(BSTR bstrMember, VARIANT_BOOL* bMember) = 0;
  virtual HRESULT WINAPI Add(BSTR bstrNewItem) = 0;
  virtual HRESULT WINAPI Remove(BSTR bstrItemToBeRemoved) = 0;
};

struct IADsPropertyList : public IDispatch {
  virtual HRESULT WINAPI get_PropertyCount(LONG* plCount) = 0;
  virtual HRESULT WINAPI Next(VARIANT* pVariant) = 0;
  virtual HRESULT WINAPI Skip(LONG cElements) = 0;
  virtual HRESULT WINAPI Reset(void) = 0;
  virtual HRESULT WINAPI Item(VARIANT varIndex, VARIANT* pVariant) = 0;
  virtual HRESULT WINAPI GetPropertyItem(BSTR bstrName, LONG lnADsType, VARIANT* pVariant) = 0;
  virtual HRESULT WINAPI PutPropertyItem(VARIANT varData) = 0;
  virtual HRESULT WINAPI ResetPropertyItem(VARIANT varEntry) = 0;
  virtual HRESULT WINAPI PurgePropertyList(void) = 0;
};

struct IADsPropertyEntry : public IDispatch {
  virtual HRESULT WINAPI Clear(void) = 0;
  virtual HRESULT WINAPI get_Name(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_Name(BSTR bstrName) = 0;
  virtual HRESULT WINAPI get_ADsType(LONG* retval) = 0;
  virtual HRESULT WINAPI put_ADsType(LONG lnADsType) = 0;
  virtual HRESULT WINAPI get_ControlCode(LONG* retval) = 0;
  virtual HRESULT WINAPI put_ControlCode(LONG lnControlCode) = 0;
  virtual HRESULT WINAPI get_Values(VARIANT* retval) = 0;
  virtual HRESULT WINAPI put_Values(VARIANT vValues) = 0;
};

struct IADsPropertyValue : public IDispatch {
  virtual HRESULT WINAPI Clear(void) = 0;
  virtual HRESULT WINAPI get_ADsType(LONG* retval) = 0;
  virtual HRESULT WINAPI put_ADsType(LONG lnADsType) = 0;
  virtual HRESULT WINAPI get_DNString(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_DNString(BSTR bstrDNString) = 0;
  virtual HRESULT WINAPI get_CaseExactString(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_CaseExactString(BSTR bstrCaseExactString) = 0;
  virtual HRESULT WINAPI get_CaseIgnoreString(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_CaseIgnoreString(BSTR bstrCaseIgnoreString) = 0;
  virtual HRESULT WINAPI get_PrintableString(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_PrintableString(BSTR bstrPrintableString) = 0;
  virtual HRESULT WINAPI get_NumericString(BSTR* retval) = 0;
  virtual HRESULT WINAPI put_NumericString(BSTR bstrNumericString) = 0;
  virtual HRESULT WINAPI get_Boolean(LONG* retval) = 0;
  virtual HRESULT WINAPI put_Boolean(LONG lnBoolean) = 0;
  virtual HRESULT WINAPI get_Integer(LONG* retval) = 0;
  virtual HRESULT WINAPI put_Integer(LONG lnInteger) = 0;
  virtual HRESULT WINAPI get_OctetString(VARIANT* retval) = 0;
  virtual HRESULT WINAPI put_OctetString(VARIANT vOctetString) = 0;
  virtual HRESULT WINAPI get_SecurityDescriptor(IDispatch** retval) = 0;
  virtual HRESULT WINAPI put_SecurityDescriptor(IDispatch* pSecurityDescriptor) = 0;
  virtual HRESULT WINAPI get_LargeInteger(IDispatch** retval) = 0;
  virtual HRESULT WINAPI put_LargeInteger(IDispatch* pLargeInteger) = 0;
  virtual HRESULT WINAPI get_UTCTime(DATE* retval) = 0;
  virtual HRESULT WINAPI put_UTCTime(DATE daUTCTime) = 0;
};

struct IADsLargeInteger : public IDispatch {
  virtual HRESULT WINAPI get_HighPart(LONG* retval) = 0;
  virtual HRESULT WINAPI put_HighPart(LONG lnHighPart) = 0;
  virtual HRESULT WINAPI get_LowPart(LONG* retval) = 0;
  virtual HRESULT WINAPI put_LowPart(LONG lnLowPart) = 0;
};

struct IADsObjectOptions : public IDispatch {
  virtual HRESULT WINAPI GetOption(LONG lnOption, VARIANT* pvValue) = 0;
  virtual HRESULT WINAPI SetOption(LONG lnOption, VARIANT vValue) = 0;
};

struct IDirectorySearch : public IUnknown {
  virtual HRESULT WINAPI SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) = 0;
  virtual HRESULT WINAPI ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                       PADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT WINAPI AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT WINAPI GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT WINAPI GetNextRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT WINAPI GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT WINAPI GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) = 0;
  virtual HRESULT WINAPI GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                   PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT WINAPI FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT WINAPI CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) = 0;
};

#endif /* __cplusplus */
