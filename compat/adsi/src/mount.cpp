#include "mount.h"

#include <mutex>

namespace adsi {
namespace {

std::mutex g_mutex;
std::shared_ptr<DirectoryStore> g_default;

}  // namespace

void setDefaultStore(std::shared_ptr<DirectoryStore> store) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_default = std::move(store);
}

std::shared_ptr<DirectoryStore> defaultStore() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_default;
}

HRESULT storeFor(std::string_view server, std::shared_ptr<DirectoryStore>& store) {
  store = defaultStore();
  if (store && (server.empty() || store->answersTo(server))) return S_OK;
  // Any other server is a network directory: the LDAP store's to answer.
  store.reset();
  return kServerNotOperational;
}

}  // namespace adsi
