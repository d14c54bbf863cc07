// The output formats, on records built by hand and on one read back from a
// real connection.
#include "formatters.h"
#include "json_text.h"
#include "streaming_host.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace std::string_literals;

Message error20001(std::string text) { return Message{2, 20001, 16, 1, std::nullopt, 0, std::move(text)}; }

// cn varchar(10), photo varbinary(3); alice with bytes 00 AB FF, then NULLs.
CallRecord twoRows() {
  CallRecord r;
  r.sent = {DescribedColumn{1, "cn", 0x27, 10}, DescribedColumn{2, "photo", 0x25, 3}, Row{"alice"s, "\x00\xab\xff"s},
            Row{std::nullopt, std::nullopt}, Done{17, 2}};
  return r;
}

CallRecord failed(std::string text) {
  CallRecord r;
  r.sent = {error20001(std::move(text)), Done{3, 0}};
  r.returnValue = 1;
  return r;
}

std::string table(const CallRecord& r) {
  std::ostringstream out;
  writeTable(r, out);
  return out.str();
}

TEST(ExecTable, WidthsNullBinaryAndCount) {
  EXPECT_EQ(table(twoRows()),
            "cn         photo\n"
            "---------- --------\n"
            "alice      0x00ABFF\n"
            "NULL       NULL\n"
            "\n"
            "(2 rows affected)\n");
}

TEST(ExecTable, WidthAtLeastTheHeaderAndCappedForDisplay) {
  CallRecord r;
  r.sent = {DescribedColumn{1, "description", 0xA7, 4000}, DescribedColumn{2, "x", 0x27, 1}, Row{"d"s, "\xc3\xa9"s},
            Done{17, 1}};
  std::string out = table(r);
  EXPECT_EQ(out.substr(0, out.find('\n')), "description" + std::string(245, ' ') + " x");
  // the e-acute takes one column, not two bytes
  EXPECT_NE(out.find("d" + std::string(255, ' ') + " \xc3\xa9\n"), std::string::npos);
  EXPECT_NE(out.find(std::string(256, '-') + " ----\n"), std::string::npos);
}

TEST(ExecTable, ErrorMessageAndEmptyResult) {
  EXPECT_EQ(table(failed("Wrong parameters. ")),
            "Msg 20001, Level 16, State 1, Procedure quarlix, Line 0\nWrong parameters. \n");
  CallRecord empty;
  empty.sent = {Done{17, 0}};
  EXPECT_EQ(table(empty), "(0 rows affected)\n");
}

TEST(ExecTable, OneRowIsARowNotRows) {
  CallRecord r;
  r.sent = {DescribedColumn{1, "cn", 0x27, 5}, Row{"alice"s}, Done{17, 1}};
  EXPECT_EQ(table(r), "cn\n-----\nalice\n\n(1 row affected)\n");
  r.sent = {DescribedColumn{1, "cn", 0x27, 5}, Row{"alice"s}, Row{"bob"s}, Row{"carol"s}, Done{17, 3}};
  EXPECT_EQ(table(r), "cn\n-----\nalice\nbob\ncarol\n\n(3 rows affected)\n");
}

TEST(ExecCsv, QuotingNullsBinaryAndMessagesOnStderr) {
  CallRecord r;
  r.sent = {DescribedColumn{1, "a,b", 0x27, 20},
            DescribedColumn{2, "bin", 0xA5, 300},
            Row{"say \"hi\"\nnow"s, "\x01"s},
            Row{""s, std::nullopt},
            Row{"plain"s, ""s},
            Done{17, 3}};
  std::ostringstream out, err;
  writeCsv(r, out, err);
  EXPECT_EQ(out.str(), "\"a,b\",bin\r\n\"say \"\"hi\"\"\nnow\",0x01\r\n\"\",\r\nplain,0x\r\n");
  EXPECT_EQ(err.str(), "");

  std::ostringstream out2, err2;
  writeCsv(failed("bad"), out2, err2);
  EXPECT_EQ(out2.str(), "");
  EXPECT_EQ(err2.str(), "Msg 20001, Level 16, State 1, Procedure quarlix, Line 0\nbad\n");
}

TEST(ExecJson, ResultSetWithEscapesAndInvalidBytes) {
  CallRecord r;
  r.sent = {DescribedColumn{1, "t\"x", 0x27, 5}, DescribedColumn{2, "b", 0x25, 2},
            Row{"a\n\x01\\\xc3\xa9\xe9"s, "\xde\xad"s}, Row{std::nullopt, std::nullopt}, Done{17, 2}};
  std::ostringstream out;
  writeJson(r, out);
  EXPECT_EQ(out.str(),
            "{\"columns\":[{\"name\":\"t\\\"x\",\"type\":39,\"maxlen\":5},{\"name\":\"b\",\"type\":37,\"maxlen\":2}],"
            "\"rows\":[[\"a\\n\\u0001\\\\\xc3\xa9\\u00e9\",\"0xDEAD\"],[null,null]],\"count\":2}\n");
}

TEST(ExecJson, ErrorObject) {
  std::ostringstream out;
  writeJson(failed("Error: 5\t!"), out);
  EXPECT_EQ(out.str(), "{\"error\":{\"number\":20001,\"severity\":16,\"state\":1,\"text\":\"Error: 5\\t!\"}}\n");
}

TEST(ExecEvents, LinesAreByteExact) {
  CallRecord r = twoRows();
  r.sent.insert(r.sent.begin() + 4, error20001("bad \xff\"x\"\n"));
  std::ostringstream out;
  writeEvents(r, out);
  EXPECT_EQ(out.str(),
            "{\"event\":\"describe\",\"column\":1,\"name\":\"cn\",\"hex\":\"636e\",\"type\":39,\"maxlen\":10}\n"
            "{\"event\":\"describe\",\"column\":2,\"name\":\"photo\",\"hex\":\"70686f746f\",\"type\":37,"
            "\"maxlen\":3}\n"
            "{\"event\":\"row\",\"cells\":[\"616c696365\",\"00abff\"]}\n"
            "{\"event\":\"row\",\"cells\":[null,null]}\n"
            "{\"event\":\"message\",\"number\":20001,\"severity\":16,\"state\":1,"
            "\"text\":\"bad \\ufffd\\\"x\\\"\\n\",\"hex\":\"62616420ff2278220a\"}\n"
            "{\"event\":\"done\",\"status\":17,\"count\":2}\n"
            "{\"event\":\"return\",\"value\":0}\n");
}

TEST(ExecEvents, ColumnNamesKeepBytesThatAreNotUtf8) {
  // A code page 1252 name: e-acute is the one byte E9, beside an empty name
  // and one with a quote and a control character.
  CallRecord r;
  r.sent = {DescribedColumn{1, "caf\xe9", 0x27, 4}, DescribedColumn{2, "", 0x27, 1},
            DescribedColumn{3, "a\"\x01", 0x27, 1}, Done{17, 0}};
  std::ostringstream out;
  writeEvents(r, out);
  EXPECT_EQ(out.str(),
            "{\"event\":\"describe\",\"column\":1,\"name\":\"caf\\ufffd\",\"hex\":\"636166e9\",\"type\":39,"
            "\"maxlen\":4}\n"
            "{\"event\":\"describe\",\"column\":2,\"name\":\"\",\"hex\":\"\",\"type\":39,\"maxlen\":1}\n"
            "{\"event\":\"describe\",\"column\":3,\"name\":\"a\\\"\\u0001\",\"hex\":\"612201\",\"type\":39,"
            "\"maxlen\":1}\n"
            "{\"event\":\"done\",\"status\":17,\"count\":0}\n"
            "{\"event\":\"return\",\"value\":0}\n");
}

TEST(ExecRecord, ReadBackFromAConnectionLeavesOutFailedCalls) {
  opends::Connection c;
  char cn[] = "cn";
  char value[] = "bob";
  srv_describe(c.get(), 1, cn, SRV_NULLTERM, 0x27, 3, 0x27, 0, nullptr);
  srv_describe(c.get(), 5, cn, SRV_NULLTERM, 0x27, 3, 0x27, 0, nullptr);  // refused
  srv_setcoldata(c.get(), 1, value);
  srv_setcollen(c.get(), 1, 3);
  srv_sendrow(c.get());
  srv_sendmsg(c.get(), 2, 20001, 16, 1, cn, -9, 0, value, SRV_NULLTERM);  // refused
  srv_senddone(c.get(), 17, 0, 1);
  std::ostringstream out;
  writeEvents(readCallRecord(c, 0), out);
  EXPECT_EQ(out.str(),
            "{\"event\":\"describe\",\"column\":1,\"name\":\"cn\",\"hex\":\"636e\",\"type\":39,\"maxlen\":3}\n"
            "{\"event\":\"row\",\"cells\":[\"626f62\"]}\n"
            "{\"event\":\"done\",\"status\":17,\"count\":1}\n"
            "{\"event\":\"return\",\"value\":0}\n");
}

// Two result sets with an information message and an error between them, a
// row shorter than its columns, NULL and binary cells.
void sendAnswer(SRV_PROC* p) {
  char cn[] = "cn", photo[] = "photo", name[] = "quarlix", info[] = "just so", bad[] = "bad\tthing";
  char alice[] = "alice", bytes[] = "\x00\xab";
  srv_describe(p, 1, cn, SRV_NULLTERM, 0x27, 10, 0x27, 0, nullptr);
  srv_describe(p, 2, photo, SRV_NULLTERM, 0x25, 2, 0x25, 0, nullptr);
  srv_setcoldata(p, 1, alice);
  srv_setcollen(p, 1, 5);
  srv_setcoldata(p, 2, bytes);
  srv_setcollen(p, 2, 2);
  srv_sendrow(p);
  srv_setcollen(p, 1, 0);
  srv_sendrow(p);
  srv_sendmsg(p, 1, 0, 0, 1, name, SRV_NULLTERM, 0, info, SRV_NULLTERM);
  srv_senddone(p, 17, 0, 2);
  srv_describe(p, 1, cn, SRV_NULLTERM, 0x27, 5, 0x27, 0, nullptr);
  srv_setcoldata(p, 1, alice);
  srv_setcollen(p, 1, 5);
  srv_sendrow(p);
  srv_sendmsg(p, 2, 20001, 16, 1, name, SRV_NULLTERM, 0, bad, SRV_NULLTERM);
  srv_senddone(p, 3, 0, 0);
}

TEST(ExecStreaming, EveryFormatShowsWhatTheWholeRecordShows) {
  for (OutputFormat format : {OutputFormat::Table, OutputFormat::Csv, OutputFormat::Json, OutputFormat::Events}) {
    opends::Connection recorded;
    sendAnswer(recorded.get());
    std::ostringstream wholeOut, wholeErr;
    writeRecord(format, readCallRecord(recorded, 1), wholeOut, wholeErr);

    opends::Connection streamed;
    std::ostringstream out, err;
    std::unique_ptr<RecordWriter> writer = makeWriter(format, out, err);
    {
      StreamingHost host(streamed, *writer);
      sendAnswer(streamed.get());
      host.finish(1);
    }
    EXPECT_EQ(out.str(), wholeOut.str()) << static_cast<int>(format);
    EXPECT_EQ(err.str(), wholeErr.str()) << static_cast<int>(format);
    EXPECT_FALSE(wholeOut.str().empty());
    // Nothing of the rows stays in the record.
    for (const OdsEvent& event : streamed.events()) EXPECT_NE(event.kind, ODS_EVENT_SENDROW);
  }
}

// Columns wider than 8000 bytes: text prints as text, image as 0x-hex, whole.
TEST(ExecFormats, TextAndImageColumnsPrintLikeTheOthers) {
  const std::string text(9000, 't');
  const std::string image(9000, '\xab');
  CallRecord r;
  r.sent = {DescribedColumn{1, "notes", 0x23, 9000}, DescribedColumn{2, "photo", 0x22, 9000}, Row{text, image},
            Row{std::nullopt, std::nullopt}, Done{17, 2}};
  std::string hex;
  for (size_t i = 0; i < image.size(); ++i) hex += "AB";
  std::ostringstream csv, err;
  writeCsv(r, csv, err);
  EXPECT_EQ(csv.str(), "notes,photo\r\n" + text + ",0x" + hex + "\r\n,\r\n");
  std::ostringstream json;
  writeJson(r, json);
  EXPECT_EQ(json.str(),
            "{\"columns\":[{\"name\":\"notes\",\"type\":35,\"maxlen\":9000},"
            "{\"name\":\"photo\",\"type\":34,\"maxlen\":9000}],"
            "\"rows\":[[\"" +
                text + "\",\"0x" + hex + "\"],[null,null]],\"count\":2}\n");
}

}  // namespace

namespace {

// Text meant to be read gets one U+FFFD per maximal subpart of an ill-formed
// sequence, as the platform's converter gives; the byte-keeping form escapes
// every byte of it; well-formed text around it stays as it is.
TEST(JsonText, IllFormedUtf8IsReplacedPerMaximalSubpartOrEscapedPerByte) {
  const std::string cut = "\xC3\xA9\xF0\x9F\x98!\xE0\x80\xAF";  // é, a cut-short emoji, !, an overlong '/'
  EXPECT_EQ(jsonString(cut, InvalidUtf8::Replace), "\"\xC3\xA9\\ufffd!\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString(cut, InvalidUtf8::EscapeByte), "\"\xC3\xA9\\u00f0\\u009f\\u0098!\\u00e0\\u0080\\u00af\"");
}

}  // namespace
