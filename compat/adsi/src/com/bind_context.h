// What an object remembers of how it was bound: the store that answers for it
// and the provider and server its path names, which its children and members
// inherit.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ads_path.h"
#include "store/directory_store.h"

namespace adsi {

struct BindContext {
  std::shared_ptr<DirectoryStore> store;
  std::string provider = "LDAP";
  std::string server;  // as written in the bound path; empty when serverless

  std::string pathOf(std::string_view dn) const { return formatAdsPath(provider, server, dn); }
};

}  // namespace adsi
