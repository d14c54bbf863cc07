// The one writer of a connection's answers: every token the server sends
// goes through it, and it alone decides the DONE status bits, cuts the
// answer into packets and flushes them while a long answer streams, and
// watches for an attention between packets.
//
// DONE bits: a statement's DONE (DONEINPROC inside an RPC) and a procedure's
// DONEPROC and DONEINPROC carry "more" when something follows them in the
// answer; a batch's answer ends with the DONE of its last statement, without
// "more", or with a DONE of its own when its last token is no DONE; an RPC's
// answer ends with RETURNSTATUS, its output values and a DONEPROC without
// "more".
#pragma once

#include "net/packet_channel.h"
#include "tds/columns.h"
#include "tds/token_buffer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

struct IntOutput {
  std::uint16_t ordinal = 0;
  std::u16string name;
  std::int32_t value = 0;
};

class AnswerWriter {
 public:
  AnswerWriter(PacketChannel& channel, std::uint32_t version, std::u16string serverName);

  // The next answer: of a batch (or of the login, or of a request refused
  // as a whole), or of an RPC.
  enum class Request { Batch, Rpc };
  void begin(Request request);
  const std::u16string& serverName() const { return serverName_; }

  // The server's token of an integrated login: with the last leg it comes
  // before LOGINACK; sspiLeg sends one that is not the last, alone, and the
  // client answers with an SSPI message. At most 65535 bytes.
  void sspi(std::string_view token);
  void sspiLeg(std::string_view token);
  void loginAck(std::u16string_view program, std::array<std::uint8_t, 4> programVersion);
  void envChange(std::uint8_t type, std::u16string_view newValue, std::u16string_view oldValue);
  void envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  // A message as the procedure sent it (its own procedure name and line).
  void message(const MessageToken& message);
  // The server's own error or informational message (severity 10 or less),
  // at the line of the client's text it is about.
  void error(std::int32_t number, std::uint8_t severity, std::string_view utf8, std::uint32_t line);
  void columns(const std::vector<ColumnDescription>& columns);
  // False (nothing written) when a cell does not fit its column's type.
  bool row(const std::vector<ColumnDescription>& columns, const Cell* cells, int cellCount);

  // The end of a statement: DONE in a batch, DONEINPROC in an RPC.
  void statementDone(std::uint16_t status, std::uint64_t count, std::uint16_t command = 0);
  // The end of one result set of the procedure: DONEINPROC.
  void resultSetDone(std::uint16_t status, std::uint64_t count);
  // The end of an EXEC in a batch: RETURNSTATUS and DONEPROC (in an RPC,
  // the RPC's end carries them).
  void procedureDone(std::int32_t returnStatus, bool error);

  // The answer's end, sent. A batch: its last DONE, or one of its own.
  void endBatch();
  // An RPC: RETURNSTATUS, the output values, DONEPROC.
  void endRpc(std::int32_t returnStatus, bool error, const std::vector<IntOutput>& outputs = {});
  // A request refused as a whole: its error and a DONE, sent.
  void refuse(std::int32_t number, std::uint8_t severity, std::string_view utf8);

  // While a long answer streams: whole packets leave, and an attention (or
  // anything else the client sends meanwhile) is noticed.
  void flush();
  // Reads what the client sent meanwhile, if anything: the answer is cancelled.
  void noticeAttention();
  bool cancelled() const { return cancelled_; }
  // The client sent something other than an attention during its answer:
  // the connection closes after it.
  bool clientMisbehaved() const { return misbehaved_; }
  // After a cancel: the answer ends here, then the acknowledgement follows.
  void endCancelled();
  // An attention that came when nothing ran: acknowledged.
  void acknowledgeAttention();

 private:
  struct Done {
    std::uint8_t token = 0;
    std::uint16_t status = 0, command = 0;
    std::uint64_t count = 0;
  };
  // Before any token: the held DONE goes out, with "more".
  TokenBuffer& next();
  void sendAll();

  PacketChannel& channel_;
  std::uint32_t version_;
  std::u16string serverName_;
  TokenBuffer buffer_;
  Request request_ = Request::Batch;
  std::optional<Done> held_;  // a batch statement's DONE, until it is known whether it is the last token
  bool lastWasDone_ = false;
  bool cancelled_ = false;
  bool misbehaved_ = false;
};

}  // namespace tds
