#include "call_record.h"

namespace {

std::string bytesOf(const char *data, int length) {
  return data ? std::string(data, static_cast<size_t>(length)) : std::string();
}

}  // namespace

CallRecord readCallRecord(const opends::Connection &connection, int returnValue) {
  CallRecord record;
  record.returnValue = returnValue;
  std::vector<OdsEvent> events = connection.events();
  for (size_t i = 0; i < events.size(); ++i) {
    const OdsEvent &e = events[i];
    switch (e.kind) {
      case ODS_EVENT_DESCRIBE:
        if (e.result != 0)
          record.sent.emplace_back(ColumnInfo{e.number, bytesOf(e.name, e.nameLength), static_cast<int>(e.destType),
                                              static_cast<long>(e.destLength)});
        break;
      case ODS_EVENT_SENDROW:
        if (e.result == SUCCEED) record.sent.emplace_back(connection.cells(static_cast<int>(i)));
        break;
      case ODS_EVENT_SENDMSG:
        if (e.result == SUCCEED) {
          Message message{e.messageType, static_cast<long>(e.messageNumber), e.severity, e.state, std::nullopt, e.line,
                          bytesOf(e.text, e.textLength)};
          if (e.name && e.nameLength > 0) message.procedure = bytesOf(e.name, e.nameLength);
          record.sent.emplace_back(std::move(message));
        }
        break;
      case ODS_EVENT_SENDDONE:
        record.sent.emplace_back(Done{e.status, static_cast<long>(e.count)});
        break;
      default:
        break;
    }
  }
  return record;
}

bool isBinaryType(int type) { return type == 0x25 || type == 0xA5 || type == 0x2D || type == 0xAD; }

std::vector<Section> sections(const CallRecord &record) {
  std::vector<Section> out;
  std::optional<ResultSet> open;
  auto close = [&](std::optional<long> count) {
    open->count = count;
    out.emplace_back(std::move(*open));
    open.reset();
  };
  for (const SentEvent &event : record.sent) {
    if (const auto *column = std::get_if<ColumnInfo>(&event)) {
      if (open && !open->rows.empty()) close(std::nullopt);
      if (!open) open.emplace();
      open->columns.push_back(*column);
    } else if (const auto *row = std::get_if<Row>(&event)) {
      if (!open) open.emplace();
      open->rows.push_back(*row);
    } else if (const auto *message = std::get_if<Message>(&event)) {
      if (open) close(std::nullopt);  // keep the order the client saw
      out.emplace_back(*message);
    } else if (const auto *done = std::get_if<Done>(&event)) {
      std::optional<long> count;
      if (done->hasCount()) count = done->count;
      if (!open && count) open.emplace();
      if (open) close(count);
    }
  }
  if (open) close(std::nullopt);
  return out;
}
