#include "tds/answer_writer.h"

#include "tds/byte_reader.h"

#include "tds/tds_constants.h"
#include "utf_codec.h"

namespace tds {

AnswerWriter::AnswerWriter(PacketChannel& channel, std::uint32_t version, std::u16string serverName)
    : channel_(channel), version_(version), serverName_(std::move(serverName)), buffer_(version) {}

void AnswerWriter::begin(Request request) {
  request_ = request;
  buffer_.clear();
  held_.reset();
  lastWasDone_ = false;
  cancelled_ = false;
}

TokenBuffer& AnswerWriter::next() {
  if (held_) buffer_.done(held_->token, held_->status | kDoneMore, held_->command, held_->count);
  held_.reset();
  lastWasDone_ = false;
  return buffer_;
}

void AnswerWriter::sspi(std::string_view token) {
  if (token.size() > 0xFFFF) throw ProtocolError("an SSPI token longer than 65535 bytes");
  next().sspi(token);
}

void AnswerWriter::sspiLeg(std::string_view token) {
  begin(Request::Batch);
  sspi(token);
  sendAll();
}

void AnswerWriter::loginAck(std::u16string_view program, std::array<std::uint8_t, 4> programVersion) {
  next().loginAck(program, programVersion);
}

void AnswerWriter::envChange(std::uint8_t type, std::u16string_view newValue, std::u16string_view oldValue) {
  next().envChange(type, newValue, oldValue);
}

void AnswerWriter::envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue) {
  next().envChangeBytes(type, newValue, oldValue);
}

void AnswerWriter::message(const MessageToken& message) {
  if (!cancelled_) next().message(message);
}

void AnswerWriter::error(std::int32_t number, std::uint8_t severity, std::string_view utf8, std::uint32_t line) {
  MessageToken message;
  message.kind = severity > 10 ? MessageToken::Class::error : MessageToken::Class::info;
  message.number = number;
  message.severity = severity;
  message.text = unicode::utf8ToUtf16(utf8);
  message.server = serverName_;
  message.line = line;
  next().message(message);
}

void AnswerWriter::columns(const std::vector<ColumnDescription>& columns) {
  if (!cancelled_) next().colMetadata(columns);
}

bool AnswerWriter::row(const std::vector<ColumnDescription>& columns, const Cell* cells, int cellCount) {
  return cancelled_ || next().row(columns, cells, cellCount);
}

void AnswerWriter::statementDone(std::uint16_t status, std::uint64_t count, std::uint16_t command) {
  if (request_ == Request::Rpc) return resultSetDone(status, count);
  next();
  held_ = Done{kDone, status, command, count};
  lastWasDone_ = true;
}

void AnswerWriter::resultSetDone(std::uint16_t status, std::uint64_t count) {
  next().done(kDoneInProc, status | kDoneMore, 0, count);
}

void AnswerWriter::procedureDone(std::int32_t returnStatus, bool error) {
  if (request_ == Request::Rpc) return;  // the RPC's own end carries the status
  next().returnStatus(returnStatus);
  buffer_.done(kDoneProc, (error ? kDoneError : 0) | kDoneMore, 0, 0);
}

void AnswerWriter::sendAll() {
  channel_.sendPart(kTabularResult, buffer_.view(), true);
  buffer_.clear();
}

void AnswerWriter::endBatch() {
  if (lastWasDone_ && held_)
    buffer_.done(held_->token, held_->status, held_->command, held_->count);
  else
    next().done(kDone, kDoneFinal, 0, 0);
  held_.reset();
  sendAll();
}

void AnswerWriter::endRpc(std::int32_t returnStatus, bool error, const std::vector<IntOutput>& outputs) {
  next().returnStatus(returnStatus);
  for (const IntOutput& output : outputs) buffer_.intReturnValue(output.ordinal, output.name, output.value);
  buffer_.done(kDoneProc, error ? kDoneError : kDoneFinal, 0, 0);
  sendAll();
}

void AnswerWriter::refuse(std::int32_t number, std::uint8_t severity, std::string_view utf8) {
  begin(Request::Batch);
  error(number, severity, utf8, 1);
  statementDone(kDoneError, 0);
  endBatch();
}

void AnswerWriter::flush() {
  const size_t room = channel_.packetSize() - kHeaderSize;
  if (buffer_.size() < room || cancelled_) return;
  const size_t whole = buffer_.size() / room * room;
  channel_.sendPart(kTabularResult, buffer_.view().substr(0, whole), false);
  buffer_.drop(whole);
  noticeAttention();
}

void AnswerWriter::noticeAttention() {
  if (cancelled_ || !channel_.inputWaiting()) return;
  Message message = channel_.readMessage(Clock::now() + std::chrono::seconds(30), false, std::chrono::seconds(30));
  cancelled_ = true;
  misbehaved_ = message.type != kAttention;
}

void AnswerWriter::endCancelled() {
  // The rows stop here. What is buffered is the rest of tokens whose start
  // already went out: sent whole, and the answer ends. The acknowledgement
  // is a message of its own, as clients wait for it after the answer.
  next().done(kDone, kDoneError, 0, 0);
  sendAll();
  acknowledgeAttention();
}

void AnswerWriter::acknowledgeAttention() {
  buffer_.clear();
  buffer_.done(kDone, kDoneAttention, 0, 0);
  sendAll();
}

}  // namespace tds
