// The two functions the server calls.
#include <cstdio>

#include "entry/com_init_scope.h"
#include "entry/request.h"
#include "errors/failures.h"
#include "platform/exports.h"
#include "platform/host.h"

namespace {

void reportFailure(SRV_PROC* srvproc, const char* text, int state) {
  Host host(srvproc);
  host.sendErrorMessage(text, state);
  host.sendDone(SRV_DONE_MORE | SRV_DONE_ERROR, 0);
}

}  // namespace

extern "C" QUARLIX_EXPORT ULONG __GetXpVersion() { return ODS_VERSION; }

extern "C" QUARLIX_EXPORT int quarlix(SRV_PROC* srvproc) {
  bool success = false;
  try {
    ComInitScope com;
    Request request(srvproc);
    if (!request.readParameters()) throw ErrorText{request.errorText};
    if (!request.runQuery()) throw ErrorText{request.errorText};
    if (!request.sendResultSet()) throw ErrorText{request.errorText};
    success = true;
  } catch (const ErrorText& error) {
    // The request and COM are torn down by now; the text is the exception's.
    reportFailure(srvproc, error.text.c_str(), 1);
  } catch (...) {
    char text[32];
    std::snprintf(text, sizeof text, "Error: %d", static_cast<int>(GetLastError()));
    reportFailure(srvproc, text, 2);
  }
  return success ? XP_NOERROR : XP_ERROR;
}
