// The store of a directory server a path names, when the mounted directory
// does not answer to it.
#pragma once

#include <memory>

#include "ads_path.h"
#include "store/directory_store.h"

namespace adsi {

// Linux: a connection to the LDAP server (ldap/ldap_store.cpp). The Windows
// build has no LDAP store: a server is not operational there.
HRESULT openServerStore(const AdsPath& path, std::shared_ptr<DirectoryStore>& store);

}  // namespace adsi
