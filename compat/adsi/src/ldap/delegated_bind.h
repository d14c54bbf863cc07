// A bind as the caller of a Kerberos login: SASL GSSAPI with exactly the
// caller's credential (the S4U2Proxy credential a login yields, or a ticket
// the client forwarded), never with the process's own tickets. A credential
// that cannot be used fails the bind; nothing falls back to another identity.
#pragma once

#include <gssapi/gssapi.h>
#include <ldap.h>

#include <string>

namespace adsi {

struct CallerBind {
  int result = LDAP_SUCCESS;  // the LDAP result code
  std::string reason;         // when it failed: why, in the words of SASL, GSSAPI and the KDC
};

// Binds `ld` (connected, not bound: plain ldap://, as Active Directory takes
// no GSSAPI bind inside TLS; the bind signs and seals) as `principal`, whose
// credential `credential` is (borrowed, not released). Succeeds only when
// SASL reports that principal as the one authenticated.
CallerBind bindAsCaller(LDAP* ld, gss_cred_id_t credential, const std::string& principal);

}  // namespace adsi
