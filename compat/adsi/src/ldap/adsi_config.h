// The stand-in's own configuration for real directories: the identity to
// bind with, time-outs and TLS. Never taken from the procedure's parameters.
//
// A file of `key value` lines (a blank or a tab between them; a value never
// begins with '=' or ':'); '#' starts a comment line; a UTF-8 byte-order
// mark and CRLF line ends are allowed. Keys (any letter case), each at most
// once:
//   binddn DN            simple bind as DN (with bindpw or bindpw_file)
//   bindpw PASSWORD      the password, the rest of the line
//   bindpw_file PATH     the password is the first line of PATH (relative to
//                        the configuration file's folder)
//   sasl_mech MECH       bind with this SASL mechanism (EXTERNAL, GSSAPI, ...)
//                        instead of choosing one
//   ticket_cache_fallback none|anonymous
//                        when the Kerberos ticket cache the environment
//                        offers cannot be used: fail the call (none, the
//                        default) or bind anonymously, saying so
//   network_timeout S    seconds to establish a connection (default 10)
//   timeout S            seconds one operation may take (default 30)
//   starttls MODE        never, try (default) or demand
//   tls_cacert PATH      CA certificates to check the server's against
//   tls_reqcert LEVEL    never, allow, try, demand or hard: how the server's
//                        certificate is checked (libldap's TLS_REQCERT)
//   ldaps_ports PORT...  further ports on which TLS starts with the
//                        connection (ldaps://), besides 636 and 3269
//   idle_timeout S       seconds a connection is kept open between calls for
//                        the next one (default 60; 0: closed after each call)
//
// A line that does not read fails the whole file. Its message names the
// file, the line number and at most the key, never a value: a password
// written in a form the reader does not expect (`bindpw=...`, on another
// key's line, on a line of its own) never reaches a log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace adsi {

enum class StartTlsMode { Never, Try, Demand };

// What happens when the ticket cache the environment offers cannot be used.
enum class TicketCacheFallback { None, Anonymous };

struct AdsiConfig {
  std::string bindDn;
  std::string bindPassword;
  bool hasPassword = false;
  std::string passwordSource;  // "bindpw in FILE" or the password file's path
  std::string saslMechanism;
  TicketCacheFallback ticketCacheFallback = TicketCacheFallback::None;
  std::string tlsCaCert;
  int tlsRequireCert = -1;  // LDAP_OPT_X_TLS_NEVER ... _HARD; -1: the platform's
  std::vector<std::string> ldapsPorts;
  int networkTimeoutSeconds = 10;
  int timeoutSeconds = 30;
  int idleTimeoutSeconds = 60;
  StartTlsMode startTls = StartTlsMode::Try;
  std::string source;  // the file it came from; empty for the defaults
};

// Parses configuration text; false with "SOURCE:LINE: reason".
bool parseAdsiConfig(std::string_view text, const std::string& source, AdsiConfig& config, std::string& error);

// The file QUARLIX_ADSI_CONFIG names (which must exist), else
// /etc/quarlix/adsi.conf, else ~/.config/quarlix/adsi.conf; the defaults when
// none of them exists.
bool loadAdsiConfig(AdsiConfig& config, std::string& error);

}  // namespace adsi
