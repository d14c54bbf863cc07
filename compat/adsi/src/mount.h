// The process-wide default directory, and which store a path's server names.
#pragma once

#include <memory>
#include <string_view>

#include "store/directory_store.h"

namespace adsi {

void setDefaultStore(std::shared_ptr<DirectoryStore> store);
std::shared_ptr<DirectoryStore> defaultStore();

// The store for a path: the default directory when `server` is empty or names
// it; kServerNotOperational otherwise.
HRESULT storeFor(std::string_view server, std::shared_ptr<DirectoryStore>& store);

}  // namespace adsi
