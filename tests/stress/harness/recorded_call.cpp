#include "recorded_call.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "win32_compat.h"

namespace {

// The entry's results, as the host reads them.
constexpr int kSuccess = 0;
constexpr int kFailure = 1;

const char* kindName(int kind) {
  static const char* const kNames[] = {"?",        "rpcparams", "paramnumber", "paramname",  "paramtype",
                                       "paramlen", "paramdata", "describe",    "setcoldata", "setcollen",
                                       "sendrow",  "sendmsg",   "senddone"};
  return kind >= ODS_EVENT_RPCPARAMS && kind <= ODS_EVENT_SENDDONE ? kNames[kind] : kNames[0];
}

// Printable ASCII as it is, everything else as \xHH.
void appendBytes(std::string& out, const void* data, int length) {
  if (!data) {
    out += "(null)";
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  out.reserve(out.size() + static_cast<size_t>(length) + 2);
  out += '"';
  for (int i = 0; i < length; ++i) {
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  out += '"';
}

// Every field of the event; fields that are zero or null are left out (the
// kind decides which it has), so the text stays short for the many cell
// bindings of a large answer.
std::string eventLine(SRV_PROC* connection, int index, const OdsEvent& e) {
  const std::pair<const char*, long> numbers[] = {
      {"result", e.result},
      {"number", e.number},
      {"lengthArgument", e.lengthArgument},
      {"destType", e.destType},
      {"destLength", e.destLength},
      {"sourceType", e.sourceType},
      {"sourceLength", e.sourceLength},
      {"messageType", e.messageType},
      {"messageNumber", e.messageNumber},
      {"severity", e.severity},
      {"state", e.state},
      {"line", e.line},
      {"status", e.status},
      {"currentCommand", e.currentCommand},
      {"count", e.count},
      {"cells", e.cellCount},
  };
  std::string line = kindName(e.kind);
  char digits[24];
  for (const auto& [name, value] : numbers) {
    if (value == 0) continue;
    std::snprintf(digits, sizeof digits, "=%ld", value);
    line += ' ';
    line += name;
    line += digits;
  }
  if (e.data) line += " data=set";
  if (e.name) {
    line += " name=";
    appendBytes(line, e.name, e.nameLength);
  }
  if (e.text) {
    line += " text=";
    appendBytes(line, e.text, e.textLength);
  }
  for (int c = 0; c < e.cellCount; ++c) {
    OdsCell cell{};
    line += " [";
    if (!OdsHostGetCell(connection, index, c, &cell))
      line += "unreadable";
    else if (cell.isNull)
      line += "NULL";
    else
      appendBytes(line, cell.data, cell.length);
    line += "]";
  }
  return line;
}

}  // namespace

std::string RecordedCall::text() const {
  size_t size = 32;
  for (const RecordedEvent& e : events) size += e.line.size() + 1;
  std::string all;
  all.reserve(size);
  for (const RecordedEvent& e : events) {
    all += e.line;
    all += '\n';
  }
  return all + "returned " + std::to_string(returned) + ", COM depth change " + std::to_string(comDepthChange) + "\n";
}

RecordedCall runRecordedCall(const std::vector<CallParameter>& parameters) {
  std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)> connection(OdsHostCreate(), OdsHostDestroy);
  RecordedCall call;
  if (!connection) return call;
  for (const CallParameter& p : parameters) {
    const char* name = p.name ? p.name->c_str() : nullptr;
    const void* data = p.bytes ? p.bytes->data() : nullptr;
    const int length = p.bytes ? static_cast<int>(p.bytes->size()) : 0;
    if (!OdsHostAddParam(connection.get(), name, p.type, data, length)) return call;
  }
  const long depthBefore = Win32CompatComInitDepth();
  call.returned = quarlix(connection.get());
  call.comDepthChange = Win32CompatComInitDepth() - depthBefore;
  const int count = OdsHostEventCount(connection.get());
  for (int i = 0; i < count; ++i) {
    RecordedEvent recorded;
    OdsHostGetEvent(connection.get(), i, &recorded.event);
    recorded.line = eventLine(connection.get(), i, recorded.event);
    recorded.event.name = nullptr;
    recorded.event.text = nullptr;
    recorded.event.data = nullptr;
    call.events.push_back(std::move(recorded));
  }
  return call;
}

std::string answerViolation(const RecordedCall& call) {
  if (call.comDepthChange) return "COM depth changed by " + std::to_string(call.comDepthChange);
  int describes = 0, bindings = 0, rows = 0, messages = 0, dones = 0;
  int rowBindings = 0;  // cells bound since the last row
  const OdsEvent* message = nullptr;
  const OdsEvent* done = nullptr;
  bool afterDone = false;
  for (const RecordedEvent& recorded : call.events) {
    const OdsEvent& e = recorded.event;
    switch (e.kind) {
      case ODS_EVENT_DESCRIBE: ++describes; break;
      case ODS_EVENT_SETCOLDATA:
      case ODS_EVENT_SETCOLLEN:
        ++bindings;
        ++rowBindings;
        break;
      case ODS_EVENT_SENDROW:
        ++rows;
        // A row without cells in a table without columns has nothing to
        // lose: the host refuses it and the done still counts it, as
        // delivery does not look at host results.
        if (e.result == FAIL && describes == 0 && rowBindings == 0) {
          rowBindings = 0;
          continue;
        }
        rowBindings = 0;
        break;
      case ODS_EVENT_SENDMSG:
        ++messages;
        message = &e;
        break;
      case ODS_EVENT_SENDDONE:
        ++dones;
        done = &e;
        continue;
      default: continue;  // parameter intake
    }
    if (dones) afterDone = true;
    if (e.kind != ODS_EVENT_SENDMSG && e.result == FAIL) return "a failed srv_ call: " + recorded.line;
  }
  if (dones != 1) return std::to_string(dones) + " dones sent";
  if (afterDone) return "something sent after the done";
  if (call.returned == kSuccess) {
    if (messages) return "a message in a successful call";
    if (done->status != (SRV_DONE_MORE | SRV_DONE_COUNT)) return "done status " + std::to_string(done->status);
    if (done->count != rows)
      return "done counts " + std::to_string(done->count) + ", rows sent " + std::to_string(rows);
    return "";
  }
  if (call.returned != kFailure) return "returned " + std::to_string(call.returned);
  if (describes || bindings || rows) return "result data in a failed call";
  if (messages != 1) return std::to_string(messages) + " messages in a failed call";
  if (message->messageType != SRV_MSG_ERROR || message->messageNumber != 20001 || message->severity != 16 ||
      (message->state != 1 && message->state != 2))
    return "unexpected message: type " + std::to_string(message->messageType) + ", number " +
           std::to_string(message->messageNumber) + ", severity " + std::to_string(message->severity) + ", state " +
           std::to_string(message->state);
  if (done->status != (SRV_DONE_MORE | SRV_DONE_ERROR) || done->count != 0)
    return "done status " + std::to_string(done->status) + " count " + std::to_string(done->count) + " after a message";
  return "";
}
