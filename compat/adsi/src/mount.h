// The process-wide default directory, and which store a path's server names.
#pragma once

#include <memory>
#include <string_view>

#include "ads_path.h"
#include "store/directory_store.h"

namespace adsi {

void setDefaultStore(std::shared_ptr<DirectoryStore> store);
std::shared_ptr<DirectoryStore> defaultStore();

// The store for a path: the mounted default directory when the path is
// serverless or names it without a port; otherwise a connection to the LDAP server the path
// names (the platform's default server for a serverless path when nothing is
// mounted).
HRESULT storeFor(const AdsPath& path, std::shared_ptr<DirectoryStore>& store);

}  // namespace adsi
