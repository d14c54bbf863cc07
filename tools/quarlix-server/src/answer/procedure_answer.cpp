#include "answer/procedure_answer.h"

#include "tds/tds_constants.h"
#include "utf8.h"

namespace {

constexpr std::int32_t kHostErrorNumber = 50000;

tds::ColumnDescription columnFor(const OdsEvent& event, const CodePageText& text) {
  tds::ColumnDescription column;
  const std::uint32_t length = event.destLength > 0 ? static_cast<std::uint32_t>(event.destLength) : 0;
  const bool binary = event.destType == SRVVARBINARY || event.destType == SRVBIGVARBINARY ||
                      event.destType == SRVBINARY || event.destType == SRVBIGBINARY || event.destType == 0x22;
  const bool longForm = event.destType == 0x23 || event.destType == 0x22 || length > 8000;
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
    column.fromCodePage = true;
  } else {
    column.wireType = longForm ? tds::kTypeText : tds::kTypeBigVarChar;
    column.maxLength = longForm ? 0x7FFFFFFF : std::max<std::uint32_t>(length, 1);
  }
  column.collation = text.collation();
  column.name = text.toUtf16(opends::nameOf(event));
  return column;
}

tds::MessageToken messageOf(const OdsEvent& event, const CodePageText& text, const std::u16string& server) {
  tds::MessageToken message;
  message.kind = event.messageType == SRV_MSG_ERROR ? tds::MessageToken::Class::error : tds::MessageToken::Class::info;
  message.number = event.messageNumber;
  message.state = event.state;
  message.severity = event.severity;
  message.text = text.toUtf16(opends::textOf(event));
  message.server = server;
  message.procedure = event.name ? text.toUtf16(opends::nameOf(event)) : u"quarlix";
  message.line = event.line;
  return message;
}

}  // namespace

ProcedureAnswer::ProcedureAnswer(tds::PacketChannel& channel, tds::TokenWriter& writer, const CodePageText& text,
                                 opends::Connection& connection, const AnswerStyle& style)
    : channel_(channel), text_(text), connection_(connection), style_(style), writer_(writer) {
  OdsHostSetRowSink(connection_.get(), &ProcedureAnswer::onRow, this);
}

ProcedureAnswer::~ProcedureAnswer() { OdsHostSetRowSink(connection_.get(), nullptr, nullptr); }

void __cdecl ProcedureAnswer::onRow(void* context, const OdsCell* cells, int cellCount) {
  static_cast<ProcedureAnswer*>(context)->sendRow(cells, cellCount);
}

void ProcedureAnswer::sendRow(const OdsCell* cells, int cellCount) {
  if (cancelled_ || failed_ || broken_) return;
  try {
    readEvents();
    startResultIfNeeded();
    if (style_.metadataOnly) return;
    if (!writer_.row(columns_, convertedCells(cells, cellCount), cellCount)) {
      failed_ = true;
      tds::MessageToken message;
      message.number = kHostErrorNumber;
      message.severity = 16;
      message.text =
          u"The procedure sent a value longer than its column can carry; the rest of the answer is not sent.";
      message.server = style_.serverName;
      message.procedure = u"quarlix";
      writer_.message(message);
      sentError_ = true;
      return;
    }
    flushFullPackets();
  } catch (const tds::ChannelClosed& e) {
    broken_ = e;
  }
}

const OdsCell* ProcedureAnswer::convertedCells(const OdsCell* cells, int cellCount) {
  if (!convertsCells_) return cells;
  converted_.resize(static_cast<size_t>(cellCount));
  convertedText_.resize(static_cast<size_t>(cellCount));
  for (int i = 0; i < cellCount; ++i) {
    converted_[i] = cells[i];
    if (cells[i].isNull || static_cast<size_t>(i) >= columns_.size() || !columns_[i].fromCodePage) continue;
    convertedText_[i] = utf16leBytes(text_.toUtf16(
        std::string_view(reinterpret_cast<const char*>(cells[i].data), static_cast<size_t>(cells[i].length))));
    converted_[i].data = reinterpret_cast<const BYTE*>(convertedText_[i].data());
    converted_[i].length = static_cast<int>(convertedText_[i].size());
  }
  return converted_.data();
}

void ProcedureAnswer::describe(const OdsEvent& event) {
  if (event.result == 0) return;  // refused by the host interface
  if (pendingDone_ || metadataSent_) {
    // A new result set after a done: the previous one ends here.
    if (pendingDone_) writer_.done(tds::kDoneInProc, pendingDone_->status | tds::kDoneMore, 0, pendingDone_->count);
    pendingDone_.reset();
    columns_.clear();
    convertsCells_ = false;
    metadataSent_ = false;
  }
  columns_.push_back(columnFor(event, text_));
  convertsCells_ = convertsCells_ || columns_.back().fromCodePage;
}

void ProcedureAnswer::readEvents() {
  const int count = OdsHostEventCount(connection_.get());
  for (; nextEvent_ < count; ++nextEvent_) {
    OdsEvent event{};
    if (!OdsHostGetEvent(connection_.get(), nextEvent_, &event)) continue;
    switch (event.kind) {
      case ODS_EVENT_DESCRIBE: describe(event); break;
      case ODS_EVENT_SENDMSG:
        if (event.result == 0) break;
        startResultIfNeeded();
        sentError_ = sentError_ || event.messageType == SRV_MSG_ERROR;
        writer_.message(messageOf(event, text_, style_.serverName));
        break;
      case ODS_EVENT_SENDDONE:
        startResultIfNeeded();
        if (pendingDone_) writer_.done(tds::kDoneInProc, pendingDone_->status | tds::kDoneMore, 0, pendingDone_->count);
        pendingDone_ = PendingDone{static_cast<std::uint16_t>(event.status & (tds::kDoneCount | tds::kDoneError)),
                                   event.count > 0 ? static_cast<std::uint64_t>(event.count) : 0};
        if (style_.noCount) pendingDone_->status &= static_cast<std::uint16_t>(~tds::kDoneCount);
        if (style_.metadataOnly) pendingDone_->count = 0;
        break;
      default: break;
    }
  }
}

void ProcedureAnswer::startResultIfNeeded() {
  if (metadataSent_ || columns_.empty()) return;
  writer_.colMetadata(columns_);
  metadataSent_ = true;
}

void ProcedureAnswer::flushFullPackets() {
  const size_t room = channel_.packetSize() - tds::kHeaderSize;
  std::string& bytes = writer_.bytes();
  if (bytes.size() < room) return;
  const size_t whole = bytes.size() / room * room;
  channel_.sendPart(tds::kTabularResult, std::string_view(bytes).substr(0, whole), false);
  bytes.erase(0, whole);
  watchForAttention();
}

void ProcedureAnswer::watchForAttention() {
  if (!channel_.inputWaiting()) return;
  tds::Message message =
      channel_.readMessage(tds::Clock::now() + std::chrono::seconds(30), false, std::chrono::seconds(30));
  cancelled_ = true;
  misbehaved_ = message.type != tds::kAttention;
}

bool ProcedureAnswer::finish(bool& hadError) {
  if (broken_) throw *broken_;
  if (!cancelled_) {
    readEvents();
    if (!cancelled_ && channel_.inputWaiting()) watchForAttention();
  }
  if (cancelled_) {
    // The rows stop here. What is buffered is the rest of tokens whose start
    // already went out: sent whole, and the answer ends. The acknowledgement
    // is a message of its own, as clients wait for it after the answer.
    writer_.done(tds::kDone, tds::kDoneError, 0, 0);
    channel_.sendPart(tds::kTabularResult, writer_.bytes(), true);
    writer_.clear();
    writer_.done(tds::kDone, tds::kDoneAttention, 0, 0);
    channel_.send(tds::kTabularResult, writer_.bytes());
    writer_.clear();
    return false;
  }
  startResultIfNeeded();
  // Each result set inside a procedure ends with its DONEINPROC; clients
  // close a result set there.
  if (pendingDone_ || metadataSent_) {
    PendingDone done = pendingDone_.value_or(PendingDone{});
    if (failed_) done.status |= tds::kDoneError;
    writer_.done(tds::kDoneInProc, done.status | tds::kDoneMore, 0, done.count);
  }
  hadError = sentError_ || failed_;
  return true;
}
