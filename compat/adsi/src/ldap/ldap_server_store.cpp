// On Linux a server a path names is reached through libldap.
#include <ldap.h>

#include <cstdlib>

#include "ldap/ldap_store.h"
#include "ldap/ldap_target.h"
#include "store/server_store.h"

namespace adsi {

HRESULT openServerStore(const AdsPath& path, std::shared_ptr<DirectoryStore>& store) {
  return LdapStore::open(path, store);
}

ServerlessServer serverlessServer() {
  // What libldap answers when nothing names a server.
  static const char* const kLibldapDefault = "ldap://localhost:389/??base";
  ServerlessServer server;
  server.uri = platformLdapOption(LDAP_OPT_URI);
  const char* variable = std::getenv("LDAPURI");
  if (variable && *variable) {
    server.configured = true;
    server.origin = "LDAPURI";
  } else if (server.uri != kLibldapDefault) {
    server.configured = true;
    server.origin = "URI of ldap.conf or an ldaprc";
  } else {
    server.origin = "libldap's default: no URI in ldap.conf, no LDAPURI";
  }
  return server;
}

}  // namespace adsi
