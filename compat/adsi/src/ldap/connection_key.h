// What a connection is made with, as a value: two calls whose keys are equal
// may use one connection in turn (connection_pool.h). The configuration is
// read at every call, so any change of it that bears on a connection (the
// server's URI, TLS, time-outs, the identity), of the password (bindpw, or
// the line of the password file), of the CA file or of the Kerberos ticket
// cache gives another key, and so a new connection. The password is only
// compared, never shown.
#pragma once

#include <string>

#include "ldap/adsi_config.h"
#include "ldap/bind_identity.h"
#include "ldap/ldap_target.h"

namespace adsi {

struct ConnectionKey {
  std::string uri;
  bool secure = false;
  StartTlsMode startTls = StartTlsMode::Try;
  std::string tlsCaCert;  // the file's name and stamp
  int tlsRequireCert = -1;
  int networkTimeoutSeconds = 0;
  int timeoutSeconds = 0;
  int idleTimeoutSeconds = 0;
  std::string configSource;  // failure lines name it
  BindIdentity identity;
  std::string password;     // a simple bind's: a new password is a new connection
  std::string ticketStamp;  // GSSAPI: the ticket cache file's stamp (a new ticket)

  bool operator==(const ConnectionKey& other) const;
  bool operator!=(const ConnectionKey& other) const { return !(*this == other); }
};

// `identity` as the identity rules chose it for this call (ldap_bind.h).
ConnectionKey connectionKeyFor(const LdapTarget& target, const AdsiConfig& config, const BindIdentity& identity);

// The path followed by what tells one version of the file from the next (its
// device, inode, size and time of last change), or the path alone when it
// cannot be read.
std::string fileStamp(const std::string& path);

}  // namespace adsi
