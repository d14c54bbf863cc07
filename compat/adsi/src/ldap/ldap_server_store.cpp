// On Linux a server a path names is reached through libldap.
#include "ldap/ldap_store.h"
#include "store/server_store.h"

namespace adsi {

HRESULT openServerStore(const AdsPath& path, std::shared_ptr<DirectoryStore>& store) {
  return LdapStore::open(path, store);
}

}  // namespace adsi
