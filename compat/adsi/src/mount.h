// The process-wide embedded directory, and which store answers a path.
#pragma once

#include <memory>
#include <string>

#include "ads_path.h"
#include "embedded/embedded_store.h"
#include "store/directory_store.h"

namespace adsi {

void setDefaultStore(std::shared_ptr<EmbeddedStore> store);
std::shared_ptr<EmbeddedStore> defaultStore();

// The store for a path. The mounted embedded directory answers a path that
// names it as a server without a port, a serverless path in its own naming
// contexts, and LDAP://RootDSE (and LDAP: alone) when no LDAP server is
// configured. Every other path goes to the LDAP server it names, a
// serverless one to the server of the platform's LDAP configuration.
HRESULT storeFor(const AdsPath& path, std::shared_ptr<DirectoryStore>& store);

// One line for the host's administrator: which directory and which server
// serverless paths reach.
std::string describeServerlessPaths();

}  // namespace adsi
