#include "call_record.h"

namespace {

std::string bytesOf(const char* data, int length) {
  return data ? std::string(data, static_cast<size_t>(length)) : std::string();
}

}  // namespace

std::optional<SentEvent> sentEventAt(const opends::Connection& connection, int index, const OdsEvent& e) {
  switch (e.kind) {
    case ODS_EVENT_DESCRIBE:
      if (e.result == 0) break;
      return DescribedColumn{e.number, bytesOf(e.name, e.nameLength), static_cast<int>(e.destType),
                             static_cast<long>(e.destLength)};
    case ODS_EVENT_SENDROW:
      if (e.result != SUCCEED) break;
      return connection.cells(index);
    case ODS_EVENT_SENDMSG: {
      if (e.result != SUCCEED) break;
      Message message{e.messageType, static_cast<long>(e.messageNumber), e.severity, e.state, std::nullopt,
                      e.line,        bytesOf(e.text, e.textLength)};
      if (e.name && e.nameLength > 0) message.procedure = bytesOf(e.name, e.nameLength);
      return message;
    }
    case ODS_EVENT_SENDDONE: return Done{e.status, static_cast<long>(e.count)};
    default: break;
  }
  return std::nullopt;
}

CallRecord readCallRecord(const opends::Connection& connection, int returnValue) {
  CallRecord record;
  record.returnValue = returnValue;
  std::vector<OdsEvent> events = connection.events();
  for (size_t i = 0; i < events.size(); ++i)
    if (std::optional<SentEvent> sent = sentEventAt(connection, static_cast<int>(i), events[i]))
      record.sent.push_back(std::move(*sent));
  return record;
}

// varbinary, binary and their long forms, and image.
bool isBinaryType(int type) { return type == 0x25 || type == 0xA5 || type == 0x2D || type == 0xAD || type == 0x22; }

void SectionReader::start() {
  if (!started_) setStarted(*open_);
  started_ = true;
}

void SectionReader::close(std::optional<long> count) {
  open_->count = count;
  start();
  setEnded(*open_);
  open_.reset();
  started_ = false;
}

void SectionReader::read(const SentEvent& event) {
  if (const auto* column = std::get_if<DescribedColumn>(&event)) {
    if (open_ && open_->rowCount > 0) close(std::nullopt);
    if (!open_) open_.emplace();
    open_->columns.push_back(*column);
  } else if (const auto* row = std::get_if<Row>(&event)) {
    if (!open_) open_.emplace();
    start();
    ++open_->rowCount;
    setRow(*open_, *row);
  } else if (const auto* message = std::get_if<Message>(&event)) {
    if (open_) close(std::nullopt);  // keep the order the client saw
    messageSent(*message);
  } else if (const auto* done = std::get_if<Done>(&event)) {
    std::optional<long> count;
    if (done->hasCount()) count = done->count;
    if (!open_ && count) open_.emplace();
    if (open_) close(count);
  }
}

void SectionReader::end() {
  if (open_) close(std::nullopt);
}

namespace {

class SectionCollector : public SectionReader {
 public:
  std::vector<Section> out;

 protected:
  void setStarted(const ResultSet&) override {}
  void setRow(const ResultSet&, const Row& row) override { rows_.push_back(row); }
  void setEnded(const ResultSet& set) override {
    ResultSet whole = set;
    whole.rows = std::move(rows_);
    rows_.clear();
    out.emplace_back(std::move(whole));
  }
  void messageSent(const Message& message) override { out.emplace_back(message); }

 private:
  std::vector<Row> rows_;
};

}  // namespace

std::vector<Section> sections(const CallRecord& record) {
  SectionCollector collector;
  for (const SentEvent& event : record.sent) collector.read(event);
  collector.end();
  return std::move(collector.out);
}
