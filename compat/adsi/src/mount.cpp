#include "mount.h"

#include <mutex>

#include "store/server_store.h"

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

HRESULT storeFor(const AdsPath& path, std::shared_ptr<DirectoryStore>& store) {
  store = defaultStore();
  // A port names a server on the network; so does any name the mounted
  // directory does not answer to.
  if (store && (path.host.empty() || (path.port.empty() && store->answersTo(path.host)))) return S_OK;
  store.reset();
  return openServerStore(path, store);
}

}  // namespace adsi
