#include "entry/request.h"
#include "errors/error_text.h"
#include "platform/host.h"

namespace {

// The most columns a result set can have.
constexpr unsigned kMaxColumns = 4096;

}  // namespace

bool Request::sendResultSet() {
  // An answer the host cannot describe fails whole, before anything is sent.
  if (table.columns.size() > kMaxColumns) {
    formatText(errorText, "Too many columns: the answer has %u columns, a result set holds at most %u.",
               static_cast<unsigned>(table.columns.size()), kMaxColumns);
    return false;
  }
  deliverTable(Host(srvproc), table);
  return true;
}
