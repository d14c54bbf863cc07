// The Windows build of the stand-in knows only the mounted directory: any
// other server is one it cannot reach, as ADSI reports an unreachable one.
#include "store/server_store.h"

namespace adsi {

HRESULT openServerStore(const AdsPath&, std::shared_ptr<DirectoryStore>& store) {
  store.reset();
  return kServerNotOperational;
}

ServerlessServer serverlessServer() { return ServerlessServer(); }

}  // namespace adsi
