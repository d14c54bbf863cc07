// The tokens of an answer, byte for byte where a client reads them by
// position: sizes that depend on the protocol version, NULL cells, long
// values, and texts as UTF-16.
#include "tds/tds_constants.h"
#include "tds/token_writer.h"
#include "utf_codec.h"

#include <gtest/gtest.h>

namespace {

tds::ColumnDescription column(std::uint8_t type, std::uint32_t maxLength, const std::string& name) {
  tds::ColumnDescription c;
  c.wireType = type;
  c.maxLength = maxLength;
  c.name = unicode::utf8ToUtf16(name);
  c.collation = {0x09, 0x04, 0xD0, 0x00, 0x34};
  return c;
}

TEST(Tokens, DoneCountsAreEightBytesFrom72AndFourBefore) {
  tds::TokenWriter new_(tds::kVersion74), old(tds::kVersion71);
  new_.done(tds::kDoneProc, tds::kDoneCount, 0, 0x0102030405ull);
  old.done(tds::kDoneProc, tds::kDoneCount, 0, 7);
  EXPECT_EQ(new_.bytes(), std::string("\xFE\x10\x00\x00\x00\x05\x04\x03\x02\x01\x00\x00\x00", 13));
  EXPECT_EQ(old.bytes(), std::string("\xFE\x10\x00\x00\x00\x07\x00\x00\x00", 9));
}

TEST(Tokens, ErrorCarriesNumberStateClassTextServerProcedureAndLine) {
  tds::TokenWriter writer(tds::kVersion74);
  tds::MessageToken message;
  message.number = 20001;
  message.state = 2;
  message.severity = 16;
  message.text = u"Fé";
  message.server = u"s";
  message.procedure = u"quarlix";
  writer.message(message);
  const std::string& b = writer.bytes();
  ASSERT_GE(b.size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), tds::kError);
  const size_t length = static_cast<unsigned char>(b[1]) | (static_cast<unsigned char>(b[2]) << 8);
  EXPECT_EQ(length, b.size() - 3);
  EXPECT_EQ(b.substr(3, 6), std::string("\x21\x4E\x00\x00\x02\x10", 6));  // 20001, state 2, class 16
  EXPECT_EQ(b.substr(9, 6), std::string("\x02\x00"
                                        "F\x00\xE9\x00",
                                        6));
  EXPECT_EQ(b.substr(b.size() - 4), std::string(4, '\0'));  // line, 4 bytes from 7.2
  EXPECT_NE(b.find(std::string("\x07q\x00u\x00", 5)), std::string::npos);

  // An informational message of 7.1: its token, and a 2-byte line.
  tds::TokenWriter old(tds::kVersion71);
  message.kind = tds::MessageToken::Class::info;
  message.line = 0x0102;
  old.message(message);
  EXPECT_EQ(static_cast<unsigned char>(old.bytes()[0]), tds::kInfo);
  EXPECT_EQ(old.bytes().substr(old.bytes().size() - 3), std::string("\x00\x02\x01", 3));  // procedure's last unit, line
}

TEST(Tokens, LongTextsAreCutToWholeCodeUnitsTheLengthCanCount) {
  tds::TokenWriter writer(tds::kVersion74);
  writer.envChange(1, std::u16string(300, u'é'), u"");
  const std::string& b = writer.bytes();
  ASSERT_GE(b.size(), 5u);
  EXPECT_EQ(static_cast<unsigned char>(b[4]), 255);
  EXPECT_EQ(b.substr(5, 2), std::string("\xE9\x00", 2));
  EXPECT_EQ(b.size(), 1 + 2 + 1 + 1 + 255 * 2 + 1u);

  tds::TokenWriter messages(tds::kVersion74);
  tds::MessageToken message;
  message.text = std::u16string(40000, u'x');
  messages.message(message);
  const std::string& m = messages.bytes();
  ASSERT_GE(m.size(), 11u);
  EXPECT_EQ(static_cast<unsigned char>(m[9]) | (static_cast<unsigned char>(m[10]) << 8), 30000);
}

TEST(Tokens, RowsSendNullsAndRefuseCellsTheirTypeCannotCarry) {
  std::vector<tds::ColumnDescription> columns = {column(tds::kTypeBigVarChar, 10, "a"),
                                                 column(tds::kTypeImage, 0x7FFFFFFF, "b")};
  tds::TokenWriter writer(tds::kVersion74);
  const BYTE text[] = {'h', 'i'};
  OdsCell cells[2] = {{text, 2, 0}, {nullptr, 0, 1}};
  ASSERT_TRUE(writer.row(columns, cells, 2));
  EXPECT_EQ(writer.bytes(), std::string("\xD1\x02\x00hi\x00", 6));  // varchar "hi", image NULL (no text pointer)

  writer.clear();
  cells[0] = {nullptr, 0, 1};
  cells[1] = {text, 2, 0};
  ASSERT_TRUE(writer.row(columns, cells, 2));
  const std::string& b = writer.bytes();
  EXPECT_EQ(b.substr(0, 4), std::string("\xD1\xFF\xFF\x10", 4));  // NULL varchar, then a 16-byte text pointer
  EXPECT_EQ(b.substr(4 + 16 + 8), std::string("\x02\x00\x00\x00hi", 6));

  std::string huge(8001, 'x');
  OdsCell tooLong[1] = {{reinterpret_cast<const BYTE*>(huge.data()), 8001, 0}};
  writer.clear();
  EXPECT_FALSE(writer.row({column(tds::kTypeBigVarChar, 8000, "a")}, tooLong, 1));
  EXPECT_TRUE(writer.bytes().empty());
}

TEST(Tokens, ColumnMetadataHasCollationsForTextOnlyAndTableNamesForLongTypes) {
  tds::TokenWriter writer(tds::kVersion74);
  writer.colMetadata({column(tds::kTypeBigVarBinary, 16, "g")});
  EXPECT_EQ(writer.bytes(), std::string("\x81\x01\x00\x00\x00\x00\x00\x09\x00\xA5\x10\x00\x01g\x00", 15));
  writer.clear();
  writer.colMetadata({column(tds::kTypeText, 0x7FFFFFFF, "t")});
  EXPECT_EQ(
      writer.bytes(),
      std::string("\x81\x01\x00\x00\x00\x00\x00\x09\x00\x23\xFF\xFF\xFF\x7F\x09\x04\xD0\x00\x34\x00\x01t\x00", 23));
}

TEST(Tokens, TextBecomesUtf16AndBrokenUtf8IsReplaced) {
  EXPECT_EQ(tds::utf16Of("a€"), std::string("a\x00\xAC\x20", 4));
  EXPECT_EQ(tds::utf16Of("\xFF"), std::string("\xFD\xFF", 2));
  // One U+FFFD per maximal subpart, as the platform's converter gives, not one per byte.
  EXPECT_EQ(tds::utf16Of("\xF0\x9F\x98!"), std::string("\xFD\xFF!\x00", 4));
  EXPECT_EQ(tds::utf16Of("😀"), std::string("\x3D\xD8\x00\xDE", 4));
}

}  // namespace
