#include "mount.h"

#include <mutex>

#include "store/server_store.h"

namespace adsi {
namespace {

std::mutex g_mutex;
std::shared_ptr<EmbeddedStore> g_default;

// Whether the mounted directory, not a server, answers `path`.
bool embeddedAnswers(const EmbeddedStore& store, const AdsPath& path) {
  // A port names a server on the network; so does any name the mounted
  // directory does not answer to.
  if (!path.host.empty()) return path.port.empty() && store.answersTo(path.host);
  // The root DSE, and the default naming context, are the configured server's.
  if (path.rootDse || path.dn.empty()) return !serverlessServer().configured;
  return store.holds(path.dn);
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

}  // namespace

void setDefaultStore(std::shared_ptr<EmbeddedStore> store) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_default = std::move(store);
}

std::shared_ptr<EmbeddedStore> defaultStore() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_default;
}

HRESULT storeFor(const AdsPath& path, std::shared_ptr<DirectoryStore>& store) {
  std::shared_ptr<EmbeddedStore> mounted = defaultStore();
  if (mounted && embeddedAnswers(*mounted, path)) {
    store = std::move(mounted);
    return S_OK;
  }
  store.reset();
  return openServerStore(path, store);
}

std::string describeServerlessPaths() {
  std::shared_ptr<EmbeddedStore> mounted = defaultStore();
  const ServerlessServer server = serverlessServer();
  const std::string where = server.uri.empty() ? std::string("fail: this build has no LDAP store")
                                               : "reach " + server.uri + " (" + server.origin + ")";
  if (!mounted) return "serverless paths " + where;
  return "serverless paths under " + joined(mounted->namingContexts()) + (server.configured ? "" : ", and RootDSE,") +
         " reach the embedded directory " + mounted->source() + "; " +
         (server.configured ? "RootDSE and the others " : "the others ") + where;
}

}  // namespace adsi
