// A stand-in procedure for the host's end-to-end tests: it answers with its
// parameters as one result set (column names from the parameter names, p1,
// p2... for positional ones; nvarchar values in binary columns), or with one
// error message when a parameter is 'fail'. FAKE_XP_VERSION builds one that
// reports another interface version.
#include "srv.h"

#include <cstring>
#include <string>
#include <vector>

#ifndef FAKE_XP_VERSION
#define FAKE_XP_VERSION ODS_VERSION
#endif

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Echo {
  std::string name;
  int type;
  const void* data;
  int length;
};

char* text(const char* s) { return const_cast<char*>(s); }

}  // namespace

FAKE_EXPORT ULONG __GetXpVersion(void) { return FAKE_XP_VERSION; }

FAKE_EXPORT int quarlix(SRV_PROC* srvproc) {
  std::vector<Echo> echoes;
  for (int i = 1; i <= srv_rpcparams(srvproc); ++i) {
    int nameLength = 0;
    char* name = srv_paramname(srvproc, i, &nameLength);
    Echo echo{nameLength > 0 ? std::string(name, static_cast<size_t>(nameLength)) : "p" + std::to_string(i),
              srv_paramtype(srvproc, i), srv_paramdata(srvproc, i), srv_paramlen(srvproc, i)};
    if (echo.type == SRVVARCHAR && echo.length == 4 && std::memcmp(echo.data, "fail", 4) == 0) {
      srv_sendmsg(srvproc, SRV_MSG_ERROR, 20001, 16, 1, nullptr, 0, 0, text("Failure requested.\n\tas asked"),
                  SRV_NULLTERM);
      srv_senddone(srvproc, SRV_DONE_MORE | SRV_DONE_ERROR, 0, 0);
      return 1;
    }
    echoes.push_back(echo);
  }
  for (size_t i = 0; i < echoes.size(); ++i) {
    int type = echoes[i].type == SRVNVARCHAR ? SRVBIGVARBINARY : SRVVARCHAR;
    int column = static_cast<int>(i + 1);
    srv_describe(srvproc, column, text(echoes[i].name.c_str()), SRV_NULLTERM, type,
                 echoes[i].length > 0 ? echoes[i].length : 1, type, 0, nullptr);
    srv_setcoldata(srvproc, column, const_cast<void*>(echoes[i].data));
    srv_setcollen(srvproc, column, echoes[i].length);
  }
  if (!echoes.empty()) srv_sendrow(srvproc);
  srv_senddone(srvproc, SRV_DONE_MORE | SRV_DONE_COUNT, 0, echoes.empty() ? 0 : 1);
  return 0;
}
