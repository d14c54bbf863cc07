// The result operations of srv.h: columns, bindings, rows, messages, dones.
#include "connection.h"

using Lock = std::lock_guard<std::mutex>;

namespace {

// A row can go out once columns are described and every bound length has
// data behind it and fits the width its column was described with.
bool rowSendable(const std::vector<CXPData::Binding>& columns) {
  if (columns.empty()) return false;
  for (const CXPData::Binding& binding : columns)
    if ((binding.length > 0 && !binding.data) || binding.length > binding.limit) return false;
  return true;
}

// Takes the bytes of every column as bound now: the procedure keeps its
// buffers alive only until srv_sendrow returns.
bool copyBoundRow(const std::vector<CXPData::Binding>& columns, std::vector<CXPData::Cell>& cells) {
  if (!rowSendable(columns)) return false;
  cells.resize(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].length == 0) continue;  // NULL
    cells[i].isNull = false;
    cells[i].bytes.assign(static_cast<const char*>(columns[i].data), static_cast<size_t>(columns[i].length));
  }
  return true;
}

// The bound cells as the sink sees them: the procedure's own bytes.
std::vector<OdsCell> boundCells(const std::vector<CXPData::Binding>& columns) {
  std::vector<OdsCell> cells;
  cells.reserve(columns.size());
  for (const CXPData::Binding& binding : columns) {
    bool isNull = binding.length == 0;
    cells.push_back(OdsCell{isNull ? nullptr : static_cast<const BYTE*>(binding.data), binding.length, isNull});
  }
  return cells;
}

}  // namespace

extern "C" {

OPENDS_API int __cdecl srv_describe(SRV_PROC* srvproc, int colnumber, char* column_name, int namelen, LONG desttype,
                                    LONG destlen, LONG srctype, LONG srclen, void* srcdata) {
  if (!srvproc) return 0;
  Lock lock(srvproc->mutex);
  int resolved = 0;
  bool nameOk = resolveTextLength(column_name, namelen, resolved);
  bool ok = nameOk && !srvproc->rowSent && srclen >= 0 && widthAllowed(desttype, destlen) &&
            colnumber == static_cast<int>(srvproc->columns.size()) + 1;
  if (ok) srvproc->columns.push_back({srcdata, static_cast<int>(srclen), cellLimit(desttype, destlen)});
  CXPData::Event& event = srvproc->record(ODS_EVENT_DESCRIBE, ok ? colnumber : 0);
  event.view.number = colnumber;
  event.view.lengthArgument = namelen;
  if (nameOk) event.setName(column_name, resolved);
  event.view.destType = desttype;
  event.view.destLength = destlen;
  event.view.sourceType = srctype;
  event.view.sourceLength = srclen;
  event.view.data = srcdata;
  return ok ? colnumber : 0;
}

OPENDS_API int __cdecl srv_setcoldata(SRV_PROC* srvproc, int column, void* data) {
  if (!srvproc) return FAIL;
  Lock lock(srvproc->mutex);
  bool ok = srvproc->validColumn(column);
  if (ok) srvproc->columns[static_cast<size_t>(column - 1)].data = data;
  if (srvproc->rowSink) return ok ? SUCCEED : FAIL;
  CXPData::Event& event = srvproc->record(ODS_EVENT_SETCOLDATA, ok ? SUCCEED : FAIL);
  event.view.number = column;
  event.view.data = data;
  return ok ? SUCCEED : FAIL;
}

OPENDS_API int __cdecl srv_setcollen(SRV_PROC* srvproc, int column, int len) {
  if (!srvproc) return FAIL;
  Lock lock(srvproc->mutex);
  bool ok = srvproc->validColumn(column) && len >= 0;
  if (ok) srvproc->columns[static_cast<size_t>(column - 1)].length = len;
  if (srvproc->rowSink) return ok ? SUCCEED : FAIL;
  CXPData::Event& event = srvproc->record(ODS_EVENT_SETCOLLEN, ok ? SUCCEED : FAIL);
  event.view.number = column;
  event.view.lengthArgument = len;
  return ok ? SUCCEED : FAIL;
}

OPENDS_API int __cdecl srv_sendrow(SRV_PROC* srvproc) {
  if (!srvproc) return FAIL;
  std::unique_lock<std::mutex> lock(srvproc->mutex);
  if (srvproc->rowSink && rowSendable(srvproc->columns)) {
    // Streamed: nothing recorded; the sink runs unlocked so that it may read
    // the record.
    srvproc->rowSent = true;
    std::vector<OdsCell> cells = boundCells(srvproc->columns);
    OdsRowSink sink = srvproc->rowSink;
    void* context = srvproc->sinkContext;
    lock.unlock();
    sink(context, cells.data(), static_cast<int>(cells.size()));
    return SUCCEED;
  }
  std::vector<CXPData::Cell> cells;
  bool ok = copyBoundRow(srvproc->columns, cells);
  if (ok) srvproc->rowSent = true;
  CXPData::Event& event = srvproc->record(ODS_EVENT_SENDROW, ok ? SUCCEED : FAIL);
  event.cells = std::move(cells);
  event.view.cellCount = static_cast<int>(event.cells.size());
  return ok ? SUCCEED : FAIL;
}

OPENDS_API int __cdecl srv_sendmsg(SRV_PROC* srvproc, int msgtype, LONG msgnum, BYTE msgclass, BYTE state,
                                   char* rpcname, int rpcnamelen, USHORT linenum, char* message, int msglen) {
  if (!srvproc) return FAIL;
  Lock lock(srvproc->mutex);
  int textLength = 0;
  int nameLength = 0;
  bool textOk = resolveTextLength(message, msglen, textLength);
  bool nameOk = resolveTextLength(rpcname, rpcnamelen, nameLength);
  bool ok = textOk && nameOk;
  CXPData::Event& event = srvproc->record(ODS_EVENT_SENDMSG, ok ? SUCCEED : FAIL);
  event.view.messageType = msgtype;
  event.view.messageNumber = msgnum;
  event.view.severity = msgclass;
  event.view.state = state;
  event.view.line = linenum;
  event.view.lengthArgument = msglen;
  if (nameOk) event.setName(rpcname, nameLength);
  if (textOk) event.setText(message, textLength);
  return ok ? SUCCEED : FAIL;
}

OPENDS_API int __cdecl srv_senddone(SRV_PROC* srvproc, USHORT status, USHORT curcmd, LONG count) {
  if (!srvproc) return FAIL;
  Lock lock(srvproc->mutex);
  srvproc->columns.clear();
  srvproc->rowSent = false;
  CXPData::Event& event = srvproc->record(ODS_EVENT_SENDDONE, SUCCEED);
  event.view.status = status;
  event.view.currentCommand = curcmd;
  event.view.count = count;
  return SUCCEED;
}

}  // extern "C"
