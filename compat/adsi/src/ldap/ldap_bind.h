// The bind of a connection, as its identity (bind_identity.h) says.
#pragma once

#include <ldap.h>

#include <string>

#include "ldap/adsi_config.h"
#include "ldap/bind_identity.h"
#include "windows.h"

namespace adsi {

// The identity for a connection to `uri`, from the configuration and the
// environment's ticket cache. False when it cannot be used: the reason has
// been reported (the host's standard error) and `hr` is the call's failure.
// A fall back to anonymous is reported too.
bool resolveIdentity(const std::string& uri, const AdsiConfig& config, BindIdentity& identity, HRESULT& hr);

// Binds `ld` as `identity` (the password from `config`); the LDAP result
// code. A Kerberos bind inside TLS asks for no SASL security layer of its
// own, as Active Directory requires ("Sign or Seal are not allowed if TLS is
// used").
int bindConnection(LDAP* ld, const BindIdentity& identity, const AdsiConfig& config);

}  // namespace adsi
