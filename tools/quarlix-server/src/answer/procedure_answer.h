// Sends what the procedure sends, while it sends it: its described columns
// become COLMETADATA before the first row, each row a ROW token, each
// message an ERROR or INFO token, each result set ends with a DONEINPROC.
// Tokens are added to the statement's writer and leave in full packets as
// they fill, so an answer of any size needs only a packet's worth of memory. Between packets the client is watched for
// an attention: then the rest of the answer is dropped and the attention is
// acknowledged.
#pragma once

#include "answer/code_page_text.h"
#include "opends_host.hpp"
#include "net/packet_channel.h"
#include "tds/token_writer.h"

#include <optional>
#include <string>
#include <vector>

struct AnswerStyle {
  std::uint32_t version = 0;
  std::u16string serverName;
  bool noCount = false;       // SET NOCOUNT ON: no counts in DONEINPROC
  bool metadataOnly = false;  // SET FMTONLY ON: columns, no rows
};

class ProcedureAnswer {
 public:
  ProcedureAnswer(tds::PacketChannel& channel, tds::TokenWriter& writer, const CodePageText& text,
                  opends::Connection& connection, const AnswerStyle& style);
  ~ProcedureAnswer();
  ProcedureAnswer(const ProcedureAnswer&) = delete;
  ProcedureAnswer& operator=(const ProcedureAnswer&) = delete;

  // After the call: the last result set's DONEINPROC is written, and true
  // returned with `hadError` when the procedure sent an error. False when the
  // client cancelled: the answer was ended and the attention acknowledged,
  // nothing more may be sent. Raises ChannelClosed when the connection failed
  // while rows were sent.
  bool finish(bool& hadError);

  // The client sent something other than an attention while its answer was
  // being sent: the connection must close after this answer.
  bool clientMisbehaved() const { return misbehaved_; }

 private:
  struct PendingDone {
    std::uint16_t status = 0;
    std::uint64_t count = 0;
  };

  static void __cdecl onRow(void* context, const OdsCell* cells, int cellCount);
  void sendRow(const OdsCell* cells, int cellCount);
  // The cells with code page text as UTF-16 where a column wants it.
  const OdsCell* convertedCells(const OdsCell* cells, int cellCount);
  void readEvents();
  void describe(const OdsEvent& event);
  void startResultIfNeeded();
  void flushFullPackets();
  void watchForAttention();

  tds::PacketChannel& channel_;
  const CodePageText& text_;
  opends::Connection& connection_;
  AnswerStyle style_;
  tds::TokenWriter& writer_;
  std::vector<tds::ColumnDescription> columns_;
  bool metadataSent_ = false;
  bool convertsCells_ = false;
  std::vector<OdsCell> converted_;
  std::vector<std::string> convertedText_;
  std::optional<PendingDone> pendingDone_;
  int nextEvent_ = 0;
  bool cancelled_ = false;
  bool misbehaved_ = false;
  bool failed_ = false;  // a row could not be encoded: the rest is dropped
  bool sentError_ = false;
  std::optional<tds::ChannelClosed> broken_;  // nothing may unwind through the procedure
};
