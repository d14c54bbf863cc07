// LDAP result codes (the server's and libldap's own negative ones) as the
// HRESULTs ADSI's LDAP provider reports: HRESULT_FROM_WIN32 of the Win32 code
// the Windows LDAP client maps each result to.
#pragma once

#include "windows.h"

namespace adsi {

// S_OK for LDAP_SUCCESS. A filter libldap cannot encode is
// E_ADS_INVALID_FILTER, as ADSI reports a filter it cannot parse itself.
HRESULT hresultFromLdap(int resultCode);

// The same for a failure while the session is being set up (connect,
// StartTLS, bind, the first read): a server that does not answer in time, or
// answers that it is unavailable (shutting down), is a server that is not
// operational.
HRESULT hresultFromLdapSetup(int resultCode);

}  // namespace adsi
