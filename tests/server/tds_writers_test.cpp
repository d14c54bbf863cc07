// The answers the writer sends, read back from the other end of a socket:
// token layouts byte for byte where a client reads them by position (sizes
// that depend on the protocol version, NULL cells, long values, texts as
// UTF-16), the DONE status bits it decides, and packets of the agreed size.
#include "tds/answer_writer.h"
#include "tds/tds_constants.h"
#include "utf_codec.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A writer whose packets land in a socket pair; `answer()` reads them back.
class Wire {
 public:
  explicit Wire(std::uint32_t version = tds::kVersion74) {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds_), 0);
    channel_ = std::make_unique<tds::PacketChannel>(fds_[0], -1);
    writer_ = std::make_unique<tds::AnswerWriter>(*channel_, version, u"srv");
  }
  ~Wire() { ::close(fds_[1]); }

  tds::AnswerWriter& writer() { return *writer_; }
  tds::PacketChannel& channel() { return *channel_; }

  // The payloads of the packets sent so far, one string per message, and
  // the packets' lengths.
  std::vector<std::string> answer(std::vector<size_t>* packetLengths = nullptr) {
    std::string bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fds_[1], buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    std::vector<std::string> messages(1);
    for (size_t at = 0; at + 8 <= bytes.size();) {
      const size_t length =
          (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
      if (packetLengths) packetLengths->push_back(length);
      messages.back() += bytes.substr(at + 8, length - 8);
      if (bytes[at + 1] & 1) messages.emplace_back();
      at += length;
    }
    messages.pop_back();
    return messages;
  }

  void send(const std::string& bytes) {
    EXPECT_EQ(::write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fds_[2] = {-1, -1};
  std::unique_ptr<tds::PacketChannel> channel_;
  std::unique_ptr<tds::AnswerWriter> writer_;
};

tds::ColumnDescription column(std::uint8_t type, std::uint32_t maxLength, const std::string& name) {
  tds::ColumnDescription c;
  c.wireType = type;
  c.maxLength = maxLength;
  c.name = unicode::utf8ToUtf16(name);
  c.collation = {0x09, 0x04, 0xD0, 0x00, 0x34};
  return c;
}

// (token, status) of each DONE, DONEPROC and DONEINPROC of a 7.4 answer
// whose tokens are all DONE-family, RETURNSTATUS or RETURNVALUE of an int.
std::vector<std::pair<int, int>> dones(const std::string& answer) {
  std::vector<std::pair<int, int>> out;
  for (size_t at = 0; at < answer.size();) {
    const auto token = static_cast<unsigned char>(answer[at]);
    if (token == tds::kReturnStatus) {
      at += 5;
      continue;
    }
    EXPECT_TRUE(token == tds::kDone || token == tds::kDoneProc || token == tds::kDoneInProc) << token;
    out.emplace_back(token,
                     static_cast<unsigned char>(answer[at + 1]) | (static_cast<unsigned char>(answer[at + 2]) << 8));
    at += 13;
  }
  return out;
}

TEST(AnswerWriter, DoneCountsAreEightBytesFrom72AndFourBefore) {
  for (auto [version, expected] :
       {std::pair{tds::kVersion74, std::string("\xFD\x10\x00\xC1\x00\x05\x04\x03\x02\x01\x00\x00\x00", 13)},
        std::pair{tds::kVersion71, std::string("\xFD\x10\x00\xC1\x00\x07\x00\x00\x00", 9)}}) {
    Wire wire(version);
    wire.writer().begin(tds::AnswerWriter::Request::Batch);
    wire.writer().statementDone(tds::kDoneCount, version == tds::kVersion74 ? 0x0102030405ull : 7, 0xC1);
    wire.writer().endBatch();
    EXPECT_EQ(wire.answer(), std::vector<std::string>{expected});
  }
}

TEST(AnswerWriter, TheLastDoneOfABatchAloneHasNoMore) {
  using W = tds::AnswerWriter;
  const int more = tds::kDoneMore, count = tds::kDoneCount, error = tds::kDoneError;
  struct Case {
    const char* what;
    std::function<void(W&)> write;
    std::vector<std::pair<int, int>> expected;
  };
  const std::vector<Case> cases = {
      {"nothing: a DONE of its own", [](W&) {}, {{tds::kDone, 0}}},
      {"one statement: its DONE ends it", [](W& w) { w.statementDone(tds::kDoneCount, 1); }, {{tds::kDone, count}}},
      {"two statements",
       [](W& w) {
         w.statementDone(tds::kDoneCount, 1);
         w.statementDone(tds::kDoneError, 0);
       },
       {{tds::kDone, count | more}, {tds::kDone, error}}},
      {"an EXEC last: its DONEPROC has more, and a DONE ends the batch",
       [](W& w) {
         w.statementDone(0, 0);
         w.resultSetDone(tds::kDoneCount, 3);
         w.procedureDone(1, true);
       },
       {{tds::kDone, more}, {tds::kDoneInProc, count | more}, {tds::kDoneProc, error | more}, {tds::kDone, 0}}},
  };
  for (const Case& c : cases) {
    Wire wire;
    wire.writer().begin(W::Request::Batch);
    c.write(wire.writer());
    wire.writer().endBatch();
    const std::vector<std::string> answer = wire.answer();
    ASSERT_EQ(answer.size(), 1u) << c.what;
    EXPECT_EQ(dones(answer[0]), c.expected) << c.what;
  }
}

TEST(AnswerWriter, AnRpcEndsWithItsStatusOutputsAndAFinalDoneProc) {
  Wire wire;
  wire.writer().begin(tds::AnswerWriter::Request::Rpc);
  wire.writer().statementDone(tds::kDoneCount, 1);  // a statement inside: DONEINPROC
  wire.writer().procedureDone(0, false);            // an EXEC inside: the RPC's end carries its status
  wire.writer().endRpc(1, true, {tds::IntOutput{0, u"@h", 7}});
  const std::string answer = wire.answer().at(0);
  EXPECT_EQ(answer.substr(0, 13), std::string("\xFF\x11\x00\x00\x00\x01\0\0\0\0\0\0\0", 13));
  EXPECT_EQ(answer.substr(13, 5), std::string("\x79\x01\x00\x00\x00", 5));
  EXPECT_EQ(static_cast<unsigned char>(answer[18]), tds::kReturnValue);
  EXPECT_EQ(answer.substr(answer.size() - 13), std::string("\xFE\x02\x00\x00\x00\0\0\0\0\0\0\0\0", 13));
}

TEST(AnswerWriter, ErrorCarriesNumberStateClassTextServerProcedureAndLine) {
  Wire wire;
  wire.writer().begin(tds::AnswerWriter::Request::Batch);
  tds::MessageToken message;
  message.number = 20001;
  message.state = 2;
  message.severity = 16;
  message.text = u"Fé";
  message.server = u"s";
  message.procedure = u"quarlix";
  wire.writer().message(message);
  wire.writer().error(137, 15, "x", 3);  // the server's own: its server name and the statement's line
  wire.writer().endBatch();
  const std::string b = wire.answer().at(0);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), tds::kError);
  const size_t length = static_cast<unsigned char>(b[1]) | (static_cast<unsigned char>(b[2]) << 8);
  EXPECT_EQ(b.substr(3, 6), std::string("\x21\x4E\x00\x00\x02\x10", 6));  // 20001, state 2, class 16
  EXPECT_EQ(b.substr(9, 6), std::string("\x02\x00"
                                        "F\x00\xE9\x00",
                                        6));
  EXPECT_EQ(b.substr(3 + length - 4, 4), std::string(4, '\0'));  // line, 4 bytes from 7.2
  EXPECT_NE(b.find(std::string("\x07q\x00u\x00", 5)), std::string::npos);
  const std::string second = b.substr(3 + length);
  EXPECT_EQ(second.substr(3, 4), std::string("\x89\x00\x00\x00", 4));
  EXPECT_NE(second.find(std::string("\x03s\x00r\x00v\x00", 7)), std::string::npos);
  EXPECT_EQ(second.substr(second.size() - 13 - 4, 4), std::string("\x03\x00\x00\x00", 4));

  // An informational message of 7.1: its token, and a 2-byte line.
  Wire old(tds::kVersion71);
  old.writer().begin(tds::AnswerWriter::Request::Batch);
  old.writer().error(5701, 0, "c", 0x0102);
  old.writer().endBatch();
  const std::string o = old.answer().at(0);
  EXPECT_EQ(static_cast<unsigned char>(o[0]), tds::kInfo);
  EXPECT_EQ(o.substr(o.size() - 9 - 3, 3), std::string("\x00\x02\x01", 3));  // no procedure, line
}

TEST(AnswerWriter, LongTextsAreCutToWholeCodeUnitsTheLengthCanCount) {
  Wire wire;
  wire.writer().begin(tds::AnswerWriter::Request::Batch);
  wire.writer().envChange(1, std::u16string(300, u'é'), u"");
  tds::MessageToken message;
  message.text = std::u16string(40000, u'x');
  wire.writer().message(message);
  wire.writer().endBatch();
  const std::string b = wire.answer().at(0);
  EXPECT_EQ(static_cast<unsigned char>(b[4]), 255);
  EXPECT_EQ(b.substr(5, 2), std::string("\xE9\x00", 2));
  const size_t envChange = 1 + 2 + 1 + 1 + 255 * 2 + 1;
  const std::string m = b.substr(envChange);
  EXPECT_EQ(static_cast<unsigned char>(m[9]) | (static_cast<unsigned char>(m[10]) << 8), 30000);
}

TEST(AnswerWriter, RowsSendNullsAndRefuseCellsTheirTypeCannotCarry) {
  const std::vector<tds::ColumnDescription> columns = {column(tds::kTypeBigVarChar, 10, "a"),
                                                       column(tds::kTypeImage, 0x7FFFFFFF, "b")};
  const BYTE text[] = {'h', 'i'};
  Wire wire;
  wire.writer().begin(tds::AnswerWriter::Request::Batch);
  tds::Cell cells[2] = {{text, 2, 0}, {nullptr, 0, 1}};
  ASSERT_TRUE(wire.writer().row(columns, cells, 2));
  cells[0] = {nullptr, 0, 1};
  cells[1] = {text, 2, 0};
  ASSERT_TRUE(wire.writer().row(columns, cells, 2));
  std::string huge(8001, 'x');
  tds::Cell tooLong[1] = {{reinterpret_cast<const BYTE*>(huge.data()), 8001, 0}};
  EXPECT_FALSE(wire.writer().row({column(tds::kTypeBigVarChar, 8000, "a")}, tooLong, 1));
  wire.writer().endBatch();
  const std::string b = wire.answer().at(0);
  EXPECT_EQ(b.substr(0, 6), std::string("\xD1\x02\x00hi\x00", 6));  // varchar "hi", image NULL (no text pointer)
  EXPECT_EQ(b.substr(6, 4), std::string("\xD1\xFF\xFF\x10", 4));    // NULL varchar, then a 16-byte text pointer
  EXPECT_EQ(b.substr(10 + 16 + 8, 6), std::string("\x02\x00\x00\x00hi", 6));
  EXPECT_EQ(b.size(), 10 + 16 + 8 + 6 + 13u);  // the refused row left nothing
}

TEST(AnswerWriter, ColumnMetadataHasCollationsForTextOnlyAndTableNamesForLongTypes) {
  Wire wire;
  wire.writer().begin(tds::AnswerWriter::Request::Batch);
  wire.writer().columns({column(tds::kTypeBigVarBinary, 16, "g")});
  wire.writer().columns({column(tds::kTypeText, 0x7FFFFFFF, "t")});
  tds::ColumnDescription number = column(tds::kTypeNumericN, 17, "n");
  number.precision = 38;
  wire.writer().columns({number});
  wire.writer().endBatch();
  const std::string b = wire.answer().at(0);
  EXPECT_EQ(b.substr(0, 15), std::string("\x81\x01\x00\x00\x00\x00\x00\x01\x00\xA5\x10\x00\x01g\x00", 15));
  EXPECT_EQ(
      b.substr(15, 23),
      std::string("\x81\x01\x00\x00\x00\x00\x00\x01\x00\x23\xFF\xFF\xFF\x7F\x09\x04\xD0\x00\x34\x00\x01t\x00", 23));
  EXPECT_EQ(b.substr(38, 15), std::string("\x81\x01\x00\x00\x00\x00\x00\x01\x00\x6C\x11\x26\x00\x01n", 15));
}

TEST(AnswerWriter, LongAnswersLeaveInWholePacketsAndAnAttentionCancelsThem) {
  Wire wire;
  wire.channel().setPacketSize(512);
  wire.writer().begin(tds::AnswerWriter::Request::Batch);
  const std::vector<tds::ColumnDescription> columns = {column(tds::kTypeBigVarChar, 100, "a")};
  std::string cellText(100, 'x');
  tds::Cell cell{reinterpret_cast<const BYTE*>(cellText.data()), 100, 0};
  for (int i = 0; i < 20; ++i) {
    wire.writer().row(columns, &cell, 1);
    wire.writer().flush();
  }
  std::vector<size_t> lengths;
  EXPECT_TRUE(wire.answer(&lengths).empty());  // no message has ended yet
  ASSERT_FALSE(lengths.empty());
  for (size_t length : lengths) EXPECT_EQ(length, 512u);
  EXPECT_FALSE(wire.writer().cancelled());
  wire.send(std::string("\x06\x01\x00\x08\x00\x00\x01\x00", 8));  // ATTENTION
  // Noticed after the next packet has left.
  for (int i = 0; i < 5 && !wire.writer().cancelled(); ++i) {
    wire.writer().row(columns, &cell, 1);
    wire.writer().flush();
  }
  ASSERT_TRUE(wire.writer().cancelled());
  EXPECT_FALSE(wire.writer().clientMisbehaved());
  wire.writer().endCancelled();
  const std::vector<std::string> messages = wire.answer();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].substr(messages[0].size() - 13, 3),
            std::string("\xFD\x02\x00", 3));                                        // the answer ends in error
  EXPECT_EQ(messages[1], std::string("\xFD\x20\x00\x00\x00\0\0\0\0\0\0\0\0", 13));  // then the acknowledgement
}

TEST(AnswerWriter, TextBecomesUtf16AndBrokenUtf8IsReplaced) {
  EXPECT_EQ(tds::utf16Of("a€"), std::string("a\x00\xAC\x20", 4));
  EXPECT_EQ(tds::utf16Of("\xFF"), std::string("\xFD\xFF", 2));
  // One U+FFFD per maximal subpart, as the platform's converter gives, not one per byte.
  EXPECT_EQ(tds::utf16Of("\xF0\x9F\x98!"), std::string("\xFD\xFF!\x00", 4));
  EXPECT_EQ(tds::utf16Of("😀"), std::string("\x3D\xD8\x00\xDE", 4));
}

}  // namespace
