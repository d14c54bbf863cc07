#include "answer/procedure_answer.h"

#include "tds/tds_constants.h"
#include "utf8.h"

#include <optional>
#include <string>

namespace {

constexpr std::int32_t kHostErrorNumber = 50000;

tds::ColumnDescription columnFor(const OdsEvent& event, const CodePageText& text, bool& fromCodePage) {
  tds::ColumnDescription column;
  column.flags = 0x0001 | 0x0008;  // nullable, updatable unknown
  const std::uint32_t length = event.destLength > 0 ? static_cast<std::uint32_t>(event.destLength) : 0;
  const bool binary = event.destType == SRVVARBINARY || event.destType == SRVBIGVARBINARY ||
                      event.destType == SRVBINARY || event.destType == SRVBIGBINARY || event.destType == 0x22;
  const bool longForm = event.destType == 0x23 || event.destType == 0x22 || length > 8000;
  fromCodePage = false;
  if (event.destType == SRVNVARCHAR || event.destType == SRVNCHAR) {
    column.wireType = tds::kTypeNVarChar;
    column.maxLength = std::min<std::uint32_t>(std::max<std::uint32_t>(length, 2), 8000);
  } else if (binary) {
    column.wireType = longForm ? tds::kTypeImage : tds::kTypeBigVarBinary;
    column.maxLength = longForm ? 0x7FFFFFFF : std::max<std::uint32_t>(length, 1);
  } else if (text.textAsUtf16()) {
    // n bytes of UTF-8 are at most n UTF-16 code units.
    const bool longUtf16 = longForm || length > 4000;
    column.wireType = longUtf16 ? tds::kTypeNText : tds::kTypeNVarChar;
    column.maxLength = longUtf16 ? 0x7FFFFFFE : std::max<std::uint32_t>(length * 2, 2);
    fromCodePage = true;
  } else {
    column.wireType = longForm ? tds::kTypeText : tds::kTypeBigVarChar;
    column.maxLength = longForm ? 0x7FFFFFFF : std::max<std::uint32_t>(length, 1);
  }
  column.collation = text.collation();
  column.name = text.toUtf16(opends::nameOf(event));
  return column;
}

// The procedure's record, read as it grows, turned into the writer's tokens.
class AnswerStream {
 public:
  AnswerStream(tds::AnswerWriter& writer, const CodePageText& text, opends::Connection& connection,
               const AnswerStyle& style)
      : writer_(writer), text_(text), connection_(connection), style_(style) {
    OdsHostSetRowSink(connection_.get(), &AnswerStream::onRow, this);
  }
  ~AnswerStream() { OdsHostSetRowSink(connection_.get(), nullptr, nullptr); }
  AnswerStream(const AnswerStream&) = delete;
  AnswerStream& operator=(const AnswerStream&) = delete;

  // After the call: the rest of the record, and the last result set's end.
  void finish(ProcedureOutcome& outcome) {
    if (broken_) throw *broken_;
    if (!writer_.cancelled()) {
      readEvents();
      writer_.noticeAttention();
    }
    outcome.cancelled = writer_.cancelled();
    if (outcome.cancelled) return writer_.endCancelled();
    startResultIfNeeded();
    // Each result set inside a procedure ends with its DONEINPROC; clients
    // close a result set there.
    if (pendingDone_ || metadataSent_) {
      PendingDone done = pendingDone_.value_or(PendingDone{});
      if (failed_) done.status |= tds::kDoneError;
      writer_.resultSetDone(done.status, done.count);
      outcome.rows = done.count;
    }
    outcome.sentError = lastError_ != 0;
    outcome.lastError = lastError_;
  }

 private:
  struct PendingDone {
    std::uint16_t status = 0;
    std::uint64_t count = 0;
  };

  static void __cdecl onRow(void* context, const OdsCell* cells, int cellCount) {
    static_cast<AnswerStream*>(context)->sendRow(cells, cellCount);
  }

  // Nothing may unwind through the procedure: a failure waits for finish().
  void sendRow(const OdsCell* cells, int cellCount) {
    if (writer_.cancelled() || failed_ || broken_) return;
    try {
      readEvents();
      startResultIfNeeded();
      if (style_.metadataOnly) return;
      if (!writer_.row(columns_, convertedCells(cells, cellCount), cellCount)) {
        failed_ = true;
        lastError_ = kHostErrorNumber;
        tds::MessageToken message;
        message.number = kHostErrorNumber;
        message.severity = 16;
        message.text =
            u"The procedure sent a value longer than its column can carry; the rest of the answer is not sent.";
        message.server = writer_.serverName();
        message.procedure = u"quarlix";
        writer_.message(message);
        return;
      }
      writer_.flush();
    } catch (const tds::ChannelClosed& e) {
      broken_ = e;
    }
  }

  // The cells with code page text as UTF-16 where a column wants it.
  const OdsCell* convertedCells(const OdsCell* cells, int cellCount) {
    if (!convertsCells_) return cells;
    converted_.resize(static_cast<size_t>(cellCount));
    convertedText_.resize(static_cast<size_t>(cellCount));
    for (int i = 0; i < cellCount; ++i) {
      converted_[i] = cells[i];
      if (cells[i].isNull || static_cast<size_t>(i) >= columns_.size() || !fromCodePage_[i]) continue;
      convertedText_[i] = utf16leBytes(text_.toUtf16(
          std::string_view(reinterpret_cast<const char*>(cells[i].data), static_cast<size_t>(cells[i].length))));
      converted_[i].data = reinterpret_cast<const BYTE*>(convertedText_[i].data());
      converted_[i].length = static_cast<int>(convertedText_[i].size());
    }
    return converted_.data();
  }

  void describe(const OdsEvent& event) {
    if (event.result == 0) return;  // refused by the host interface
    if (pendingDone_ || metadataSent_) {
      // A new result set after a done: the previous one ends here.
      if (pendingDone_) writer_.resultSetDone(pendingDone_->status, pendingDone_->count);
      pendingDone_.reset();
      columns_.clear();
      fromCodePage_.clear();
      convertsCells_ = false;
      metadataSent_ = false;
    }
    bool fromCodePage = false;
    columns_.push_back(columnFor(event, text_, fromCodePage));
    fromCodePage_.push_back(fromCodePage);
    convertsCells_ = convertsCells_ || fromCodePage;
  }

  void message(const OdsEvent& event) {
    if (event.result == 0) return;
    startResultIfNeeded();
    if (event.messageType == SRV_MSG_ERROR) lastError_ = event.messageNumber;
    tds::MessageToken message;
    message.kind =
        event.messageType == SRV_MSG_ERROR ? tds::MessageToken::Class::error : tds::MessageToken::Class::info;
    message.number = event.messageNumber;
    message.state = event.state;
    message.severity = event.severity;
    message.text = text_.toUtf16(opends::textOf(event));
    message.server = writer_.serverName();
    message.procedure = event.name ? text_.toUtf16(opends::nameOf(event)) : u"quarlix";
    message.line = event.line;
    writer_.message(message);
  }

  void done(const OdsEvent& event) {
    startResultIfNeeded();
    if (pendingDone_) writer_.resultSetDone(pendingDone_->status, pendingDone_->count);
    pendingDone_ = PendingDone{static_cast<std::uint16_t>(event.status & (tds::kDoneCount | tds::kDoneError)),
                               event.count > 0 ? static_cast<std::uint64_t>(event.count) : 0};
    if (style_.noCount) pendingDone_->status &= static_cast<std::uint16_t>(~tds::kDoneCount);
    if (style_.metadataOnly) pendingDone_->count = 0;
  }

  void readEvents() {
    const int count = OdsHostEventCount(connection_.get());
    for (; nextEvent_ < count; ++nextEvent_) {
      OdsEvent event{};
      if (!OdsHostGetEvent(connection_.get(), nextEvent_, &event)) continue;
      switch (event.kind) {
        case ODS_EVENT_DESCRIBE: describe(event); break;
        case ODS_EVENT_SENDMSG: message(event); break;
        case ODS_EVENT_SENDDONE: done(event); break;
        default: break;
      }
    }
  }

  void startResultIfNeeded() {
    if (metadataSent_ || columns_.empty()) return;
    writer_.columns(columns_);
    metadataSent_ = true;
  }

  tds::AnswerWriter& writer_;
  const CodePageText& text_;
  opends::Connection& connection_;
  AnswerStyle style_;
  std::vector<tds::ColumnDescription> columns_;
  std::vector<bool> fromCodePage_;
  bool metadataSent_ = false;
  bool convertsCells_ = false;
  std::vector<OdsCell> converted_;
  std::vector<std::string> convertedText_;
  std::optional<PendingDone> pendingDone_;
  int nextEvent_ = 0;
  bool failed_ = false;  // a row could not be encoded: the rest is dropped
  std::int32_t lastError_ = 0;
  std::optional<tds::ChannelClosed> broken_;
};

}  // namespace

ProcedureOutcome callProcedure(const ProcedureEntry& procedure, const std::vector<HostParameter>& parameters,
                               tds::AnswerWriter& writer, const CodePageText& text, const AnswerStyle& style,
                               std::uint32_t line) {
  ProcedureOutcome outcome;
  opends::Connection connection;
  AnswerStream stream(writer, text, connection, style);
  std::string error;
  if (!procedure.call(parameters, connection, outcome.returnValue, error)) {
    writer.error(kHostErrorNumber, 16, "The call cannot be made: " + error + ".", line);
    outcome.sentError = true;
    outcome.lastError = kHostErrorNumber;
    return outcome;
  }
  outcome.called = true;
  stream.finish(outcome);
  return outcome;
}
