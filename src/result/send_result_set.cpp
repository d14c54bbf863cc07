#include "entry/request.h"
#include "platform/host.h"

bool Request::sendResultSet() {
  deliverTable(Host(srvproc), table);
  return true;
}
