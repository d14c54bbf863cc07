// The identity a connection binds with. The procedure never takes
// credentials, so the stand-in binds as the platform lets it: the
// configuration's explicit choice first (a SASL mechanism, or a bind DN with
// its password), else SASL EXTERNAL over ldapi://, SASL GSSAPI when a Kerberos
// ticket cache is present, and anonymously otherwise.
#pragma once

#include <ldap.h>

#include <string>

#include "ldap/adsi_config.h"

namespace adsi {

enum class BindKind { Anonymous, Simple, Sasl };

struct BindIdentity {
  BindKind kind = BindKind::Anonymous;
  std::string mechanism;  // for Sasl
};

BindIdentity chooseIdentity(const std::string& uri, const AdsiConfig& config, bool kerberosTicketCache);

// KRB5CCNAME names a cache (a file one must exist), or the default cache
// file /tmp/krb5cc_<uid> exists.
bool kerberosTicketCachePresent();

// Binds `ld`; the LDAP result code.
int bindConnection(LDAP* ld, const std::string& uri, const AdsiConfig& config);

}  // namespace adsi
