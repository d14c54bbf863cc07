#include "trace.h"

#include "json_text.h"

#include <ostream>
#include <string>

namespace {

std::string quoted(const char* bytes, int length) {
  if (!bytes) return "null";
  return jsonString(std::string_view(bytes, static_cast<size_t>(length)), InvalidUtf8::Replace);
}

std::string rowCells(const opends::Connection& connection, int index) {
  std::string text;
  for (const opends::Cell& cell : connection.cells(index)) {
    text += text.empty() ? " [" : ", ";
    text += cell ? "0x" + hexBytes(*cell, false) : "NULL";
  }
  return text.empty() ? text : text + "]";
}

std::string callText(const OdsEvent& e) {
  const std::string n = std::to_string(e.number);
  switch (e.kind) {
    case ODS_EVENT_RPCPARAMS: return "srv_rpcparams()";
    case ODS_EVENT_PARAMNUMBER:
      return "srv_paramnumber(" + quoted(e.name, e.nameLength) + ", " + std::to_string(e.lengthArgument) + ")";
    case ODS_EVENT_PARAMNAME: return "srv_paramname(" + n + ")";
    case ODS_EVENT_PARAMTYPE: return "srv_paramtype(" + n + ")";
    case ODS_EVENT_PARAMLEN: return "srv_paramlen(" + n + ")";
    case ODS_EVENT_PARAMDATA: return "srv_paramdata(" + n + ")";
    case ODS_EVENT_DESCRIBE:
      return "srv_describe(" + n + ", " + quoted(e.name, e.nameLength) + ", " + std::to_string(e.lengthArgument) +
             ", " + std::to_string(e.destType) + ", " + std::to_string(e.destLength) + ", " +
             std::to_string(e.sourceType) + ", " + std::to_string(e.sourceLength) + ")";
    case ODS_EVENT_SETCOLDATA: return "srv_setcoldata(" + n + std::string(e.data ? ", data)" : ", null)");
    case ODS_EVENT_SETCOLLEN: return "srv_setcollen(" + n + ", " + std::to_string(e.lengthArgument) + ")";
    case ODS_EVENT_SENDROW: return "srv_sendrow()";
    case ODS_EVENT_SENDMSG:
      return "srv_sendmsg(" + std::to_string(e.messageType) + ", " + std::to_string(e.messageNumber) + ", " +
             std::to_string(e.severity) + ", " + std::to_string(e.state) + ", " + quoted(e.name, e.nameLength) + ", " +
             std::to_string(e.line) + ", " + quoted(e.text, e.textLength) + ", " + std::to_string(e.lengthArgument) +
             ")";
    case ODS_EVENT_SENDDONE:
      return "srv_senddone(" + std::to_string(e.status) + ", " + std::to_string(e.currentCommand) + ", " +
             std::to_string(e.count) + ")";
    default: return "unknown call " + std::to_string(e.kind);
  }
}

}  // namespace

void writeTrace(const opends::Connection& connection, std::ostream& out) {
  std::vector<OdsEvent> events = connection.events();
  for (size_t i = 0; i < events.size(); ++i) {
    const OdsEvent& e = events[i];
    std::string cells = e.kind == ODS_EVENT_SENDROW ? rowCells(connection, static_cast<int>(i)) : "";
    out << "trace: " << callText(e) << " = " << e.result << cells << '\n';
  }
}
