#include "ldap/ldap_error_map.h"

#include <ldap.h>

#include "adserr.h"

namespace adsi {
namespace {

struct Mapping {
  int ldap;
  DWORD win32;
};

// The Win32 codes from winerror.h; the ERROR_DS_* range follows the LDAP
// result codes but not at one offset (8228 is the administrative limit).
constexpr Mapping kMappings[] = {
    {LDAP_OPERATIONS_ERROR, 8224},            // ERROR_DS_OPERATIONS_ERROR
    {LDAP_PROTOCOL_ERROR, 8225},              // ERROR_DS_PROTOCOL_ERROR
    {LDAP_TIMELIMIT_EXCEEDED, 8226},          // ERROR_DS_TIMELIMIT_EXCEEDED
    {LDAP_SIZELIMIT_EXCEEDED, 8227},          // ERROR_DS_SIZELIMIT_EXCEEDED
    {LDAP_COMPARE_FALSE, 8229},               // ERROR_DS_COMPARE_FALSE
    {LDAP_COMPARE_TRUE, 8230},                // ERROR_DS_COMPARE_TRUE
    {LDAP_AUTH_METHOD_NOT_SUPPORTED, 8231},   // ERROR_DS_AUTH_METHOD_NOT_SUPPORTED
    {LDAP_STRONG_AUTH_REQUIRED, 8232},        // ERROR_DS_STRONG_AUTH_REQUIRED
    {LDAP_PARTIAL_RESULTS, 8235},             // ERROR_DS_REFERRAL (LDAPv2 referral)
    {LDAP_REFERRAL, 8235},                    // ERROR_DS_REFERRAL
    {LDAP_ADMINLIMIT_EXCEEDED, 8228},         // ERROR_DS_ADMIN_LIMIT_EXCEEDED
    {LDAP_UNAVAILABLE_CRITICAL_EXTENSION, 8236},
    {LDAP_CONFIDENTIALITY_REQUIRED, 8237},
    {LDAP_NO_SUCH_ATTRIBUTE, 8202},           // ERROR_DS_NO_ATTRIBUTE_OR_VALUE
    {LDAP_UNDEFINED_TYPE, 8204},              // ERROR_DS_ATTRIBUTE_TYPE_UNDEFINED
    {LDAP_INAPPROPRIATE_MATCHING, 8238},
    {LDAP_CONSTRAINT_VIOLATION, 8239},
    {LDAP_TYPE_OR_VALUE_EXISTS, 8205},        // ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS
    {LDAP_INVALID_SYNTAX, 8203},              // ERROR_DS_INVALID_ATTRIBUTE_SYNTAX
    {LDAP_NO_SUCH_OBJECT, 8240},              // ERROR_DS_NO_SUCH_OBJECT
    {LDAP_ALIAS_PROBLEM, 8241},
    {LDAP_INVALID_DN_SYNTAX, 8242},
    {LDAP_IS_LEAF, 8243},
    {LDAP_ALIAS_DEREF_PROBLEM, 8244},
    {LDAP_INAPPROPRIATE_AUTH, 8233},
    {LDAP_INVALID_CREDENTIALS, 1326},         // ERROR_LOGON_FAILURE
    {LDAP_INSUFFICIENT_ACCESS, 5},            // ERROR_ACCESS_DENIED
    {LDAP_BUSY, 8206},
    {LDAP_UNAVAILABLE, 8207},
    {LDAP_UNWILLING_TO_PERFORM, 8245},
    {LDAP_LOOP_DETECT, 8246},
    {60, 8261},                               // sortControlMissing (RFC 2891)
    {61, 8262},                               // offsetRangeError (VLV): ERROR_DS_OFFSET_RANGE_ERROR
    {LDAP_NAMING_VIOLATION, 8247},
    {LDAP_OBJECT_CLASS_VIOLATION, 8212},      // ERROR_DS_OBJ_CLASS_VIOLATION
    {LDAP_NOT_ALLOWED_ON_NONLEAF, 8213},      // ERROR_DS_CANT_ON_NON_LEAF
    {LDAP_NOT_ALLOWED_ON_RDN, 8214},          // ERROR_DS_CANT_ON_RDN
    {LDAP_ALREADY_EXISTS, 5010},              // ERROR_OBJECT_ALREADY_EXISTS
    {LDAP_NO_OBJECT_CLASS_MODS, 8215},        // ERROR_DS_CANT_MOD_OBJ_CLASS
    {LDAP_RESULTS_TOO_LARGE, 8248},           // ERROR_DS_OBJECT_RESULTS_TOO_LARGE
    {LDAP_AFFECTS_MULTIPLE_DSAS, 8249},
    {LDAP_OTHER, 31},                         // ERROR_GEN_FAILURE
    // libldap's own codes
    {LDAP_SERVER_DOWN, 8250},                 // ERROR_DS_SERVER_DOWN
    {LDAP_CONNECT_ERROR, 8250},               // the server could not be reached
    {LDAP_LOCAL_ERROR, 8251},
    {LDAP_ENCODING_ERROR, 8252},
    {LDAP_DECODING_ERROR, 8253},
    {LDAP_TIMEOUT, 1460},                     // ERROR_TIMEOUT
    {LDAP_AUTH_UNKNOWN, 8234},
    {LDAP_USER_CANCELLED, 1223},              // ERROR_CANCELLED
    {LDAP_PARAM_ERROR, 8255},
    {LDAP_NO_MEMORY, 8},                      // ERROR_NOT_ENOUGH_MEMORY
    {LDAP_NOT_SUPPORTED, 8256},
    {LDAP_CONTROL_NOT_FOUND, 8258},
    {LDAP_NO_RESULTS_RETURNED, 8257},
    {LDAP_MORE_RESULTS_TO_RETURN, 234},       // ERROR_MORE_DATA
    {LDAP_CLIENT_LOOP, 8259},
    {LDAP_REFERRAL_LIMIT_EXCEEDED, 8260},
};

}  // namespace

HRESULT hresultFromLdap(int resultCode) {
  if (resultCode == LDAP_SUCCESS) return S_OK;
  if (resultCode == LDAP_FILTER_ERROR) return E_ADS_INVALID_FILTER;
  for (const Mapping& m : kMappings)
    if (m.ldap == resultCode) return HRESULT_FROM_WIN32(m.win32);
  return E_FAIL;
}

HRESULT hresultFromLdapSetup(int resultCode) {
  if (resultCode == LDAP_TIMEOUT) return HRESULT_FROM_WIN32(8250);
  return hresultFromLdap(resultCode);
}

}  // namespace adsi
