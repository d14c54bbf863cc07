// The store of a directory server a path names, when the mounted directory
// does not answer to it.
#pragma once

#include <memory>
#include <string>

#include "ads_path.h"
#include "store/directory_store.h"

namespace adsi {

// Linux: a connection to the LDAP server (ldap/ldap_store.cpp). The Windows
// build has no LDAP store: a server is not operational there.
HRESULT openServerStore(const AdsPath& path, std::shared_ptr<DirectoryStore>& store);

// The server serverless paths reach: the URI of the platform's LDAP
// configuration (LDAPURI, an ldaprc, ldap.conf), else libldap's default
// (ldap://localhost:389), which counts as no server configured. The Windows
// build has none.
struct ServerlessServer {
  std::string uri;  // "" in the Windows build
  bool configured = false;
  std::string origin;  // where the URI comes from, in words
};
ServerlessServer serverlessServer();

}  // namespace adsi
