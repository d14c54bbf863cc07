// The readers of what clients send: malformed input is refused with
// ProtocolError, never read past its end.
#include "tds/byte_reader.h"
#include "tds/login7.h"
#include "net/message_assembler.h"
#include "tds/prelogin.h"
#include "tds/rpc_request.h"
#include "tds/tds_constants.h"
#include "utf8.h"

#include <gtest/gtest.h>

namespace {

std::string u16le(std::uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string u32le(std::uint32_t v) {
  return u16le(static_cast<std::uint16_t>(v)) + u16le(static_cast<std::uint16_t>(v >> 16));
}
std::string utf16(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(utf8ToUtf16le(utf8, out));
  return out;
}

// A LOGIN7 as clients lay it out: fixed part, offsets, then the texts.
std::string login7(std::uint32_t version, const std::string& user, const std::string& password,
                   std::uint32_t packetSize = 4096) {
  std::string scrambled = utf16(password);
  for (char& c : scrambled) {
    auto b = static_cast<unsigned char>(c);
    c = static_cast<char>((((b & 0x0F) << 4) | (b >> 4)) ^ 0xA5);
  }
  const std::vector<std::string> texts = {utf16("host"), utf16(user),         scrambled,
                                          utf16("app"),  utf16("server"),     std::string(),
                                          utf16("lib"),  utf16("us_english"), utf16("master")};
  std::string fixed = u32le(0) + u32le(version) + u32le(packetSize) + u32le(7) + u32le(1) + u32le(0);
  fixed += std::string("\xE0\x03\x00\x00", 4) + u32le(0) + u32le(0x409);
  std::string offsets, data;
  const size_t start = 94;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i == 5) {  // the extension: offset and byte count, nothing
      offsets += u16le(0) + u16le(0);
      continue;
    }
    offsets +=
        u16le(static_cast<std::uint16_t>(start + data.size())) + u16le(static_cast<std::uint16_t>(texts[i].size() / 2));
    data += texts[i];
  }
  // client id, SSPI, attach file, change password, long SSPI length
  offsets += std::string(6, '\0') + u16le(0) + u16le(0) + u16le(0) + u16le(0) + u16le(0) + u16le(0) + u32le(0);
  std::string message = fixed + offsets + data;
  message.replace(0, 4, u32le(static_cast<std::uint32_t>(message.size())));
  return message;
}

std::string preloginWith(std::uint8_t encryption) {
  // VERSION at 11 (6 bytes), ENCRYPTION at 17 (1 byte), terminator.
  return std::string("\x00\x00\x0B\x00\x06\x01\x00\x11\x00\x01\xFF", 11) + std::string("\x07\x00\x00\x00\x00\x00", 6) +
         std::string(1, static_cast<char>(encryption));
}

TEST(Prelogin, ReadsTheEncryptionChoiceAndRefusesBrokenOptions) {
  EXPECT_EQ(tds::parsePrelogin(preloginWith(tds::kEncryptOn)).encryption, tds::kEncryptOn);
  EXPECT_THROW(tds::parsePrelogin(""), tds::ProtocolError);
  EXPECT_THROW(tds::parsePrelogin(std::string("\x01\x00\x06\x00\x01\xFF\x00", 7)), tds::ProtocolError);  // no version
  std::string outside = preloginWith(0);
  outside[3] = '\x40';  // the version's offset points past the end
  EXPECT_THROW(tds::parsePrelogin(outside), tds::ProtocolError);
  EXPECT_THROW(tds::parsePrelogin(std::string(200, '\x01')), tds::ProtocolError);  // never terminated
}

TEST(Prelogin, TheAnswerIsAWellFormedPreloginItself) {
  std::string answer = tds::buildPreloginResponse(tds::kEncryptRequired, 7);
  EXPECT_EQ(tds::parsePrelogin(answer).encryption, tds::kEncryptRequired);
}

TEST(Prelogin, EncryptionIsAllOrNothing) {
  auto without = tds::chooseEncryption(tds::kEncryptOff, false);
  EXPECT_EQ(without.answer, tds::kEncryptNotSupported);
  EXPECT_FALSE(without.tls);
  EXPECT_FALSE(without.refuse);
  EXPECT_TRUE(tds::chooseEncryption(tds::kEncryptRequired, false).refuse);
  auto off = tds::chooseEncryption(tds::kEncryptOff, true);
  EXPECT_EQ(off.answer, tds::kEncryptRequired);  // not the login alone
  EXPECT_TRUE(off.tls);
  EXPECT_EQ(tds::chooseEncryption(tds::kEncryptOn, true).answer, tds::kEncryptOn);
  EXPECT_TRUE(tds::chooseEncryption(tds::kEncryptNotSupported, true).refuse);
}

TEST(Login7, ReadsNamePasswordVersionAndPacketSize) {
  tds::Login7 login = tds::parseLogin7(login7(tds::kVersion74, "Ålice", "pässword", 8192));
  EXPECT_EQ(login.tdsVersion, tds::kVersion74);
  EXPECT_EQ(login.packetSize, 8192u);
  EXPECT_EQ(login.userName, "Ålice");
  EXPECT_EQ(login.password, "pässword");
  EXPECT_EQ(login.database, "master");
  EXPECT_FALSE(login.integratedSecurity);
}

TEST(Login7, RefusesLengthsAndOffsetsOutsideTheMessage) {
  std::string message = login7(tds::kVersion74, "alice", "pw");
  EXPECT_THROW(tds::parseLogin7(message.substr(0, 60)), tds::ProtocolError);
  std::string longer = message;
  longer.replace(0, 4, u32le(static_cast<std::uint32_t>(message.size() + 1)));
  EXPECT_THROW(tds::parseLogin7(longer), tds::ProtocolError);
  std::string outside = message;
  outside.replace(36 + 4 + 2, 2, u16le(0x7FFF));  // the user name's length
  EXPECT_THROW(tds::parseLogin7(outside), tds::ProtocolError);
}

TEST(Login7, AgreesOnVersionsFrom71To74) {
  EXPECT_EQ(tds::agreedVersion(tds::kVersion74), tds::kVersion74);
  EXPECT_EQ(tds::agreedVersion(0x75000000), tds::kVersion74);
  EXPECT_EQ(tds::agreedVersion(tds::kVersion72), tds::kVersion72);
  EXPECT_EQ(tds::agreedVersion(tds::kVersion71), tds::kVersion71);
  EXPECT_EQ(tds::agreedVersion(0x70000000), 0u);
}

TEST(Packets, HeadersOutsideTheLimitsAreRefused) {
  EXPECT_EQ(tds::parseHeader(std::string("\x01\x01\x00\x10\x00\x00\x01\x00", 8), 4096).length, 16);
  EXPECT_THROW(tds::parseHeader(std::string("\x01\x01\x00\x07\x00\x00\x01\x00", 8), 4096), tds::ProtocolError);
  EXPECT_THROW(tds::parseHeader(std::string("\x01\x01\xFF\xFF\x00\x00\x01\x00", 8), 4096), tds::ProtocolError);
}

TEST(Packets, MessagesAreJoinedUpToTheLimit) {
  tds::MessageAssembler assembler(10);
  tds::PacketHeader more{tds::kSqlBatch, 0, 0}, last{tds::kSqlBatch, tds::kEndOfMessage, 0};
  EXPECT_FALSE(assembler.add(more, "abcd"));
  EXPECT_TRUE(assembler.add(last, "ef"));
  EXPECT_EQ(assembler.message().payload, "abcdef");
  EXPECT_FALSE(assembler.add(more, "0123456789"));
  EXPECT_THROW(assembler.add(last, "x"), tds::ProtocolError);

  tds::MessageAssembler mixed(100);
  mixed.add(more, "a");
  EXPECT_THROW(mixed.add(tds::PacketHeader{tds::kRpc, tds::kEndOfMessage, 0}, "b"), tds::ProtocolError);

  tds::MessageAssembler cancelled(100);
  cancelled.add(more, "a");
  EXPECT_TRUE(cancelled.add(tds::PacketHeader{tds::kAttention, tds::kEndOfMessage, 0}, ""));
  EXPECT_EQ(cancelled.message().type, tds::kAttention);
}

std::string allHeaders() { return u32le(22) + u32le(18) + u16le(2) + std::string(8, '\0') + u32le(1); }

std::string varcharParameter(const std::string& name, std::uint8_t type, const std::string* value) {
  std::string p(1, static_cast<char>(name.size()));
  p += utf16(name);
  p += '\0';
  p += static_cast<char>(type);
  p += u16le(8000);
  if (type != tds::kTypeBigVarBinary) p += std::string("\x09\x04\xD0\x00\x34", 5);
  p += value ? u16le(static_cast<std::uint16_t>(value->size())) + *value : u16le(0xFFFF);
  return p;
}

TEST(Rpc, ReadsNamedPositionalNullAndLongValues) {
  const std::string path = "LDAP://x", filter = "(cn=*)";
  std::string request = allHeaders() + u16le(7) + utf16("quarlix") + u16le(0);
  request += varcharParameter("@adspath", tds::kTypeBigVarChar, &path);
  request += varcharParameter("", tds::kTypeNVarChar, nullptr);
  // varchar(max): a total length, then chunks, then an empty chunk.
  request += std::string(1, '\0') + '\0' + static_cast<char>(tds::kTypeBigVarChar) + u16le(0xFFFF) +
             std::string("\x09\x04\xD0\x00\x34", 5) + u32le(6) + u32le(0) + u32le(4) + "(cn=" + u32le(2) + "*)" +
             u32le(0);
  tds::RpcRequest rpc = tds::parseRpcRequest(request, tds::kVersion74);
  EXPECT_EQ(rpc.procedureName, "quarlix");
  ASSERT_EQ(rpc.parameters.size(), 3u);
  EXPECT_EQ(rpc.parameters[0].name, "@adspath");
  EXPECT_EQ(rpc.parameters[0].value, path);
  EXPECT_EQ(rpc.parameters[1].wireType, tds::kTypeNVarChar);
  EXPECT_FALSE(rpc.parameters[1].value);
  EXPECT_EQ(rpc.parameters[2].value, filter);

  // TDS 7.1 has no ALL_HEADERS.
  std::string old = u16le(0xFFFF) + u16le(tds::kProcIdExecuteSql) + u16le(0);
  EXPECT_EQ(tds::parseRpcRequest(old, tds::kVersion71).procId, tds::kProcIdExecuteSql);
}

TEST(Rpc, RefusesWhatItCannotRead) {
  std::string head = allHeaders() + u16le(7) + utf16("quarlix") + u16le(0);
  const std::string value = "abc";
  std::string cut = head + varcharParameter("@a", tds::kTypeBigVarChar, &value);
  EXPECT_THROW(tds::parseRpcRequest(cut.substr(0, cut.size() - 1), tds::kVersion74), tds::ProtocolError);
  EXPECT_THROW(tds::parseRpcRequest(u32le(1000) + "x", tds::kVersion74), tds::ProtocolError);
  std::string decimal = head + std::string("\x00\x00\x6C\x11\x26\x04", 6);
  EXPECT_THROW(tds::parseRpcRequest(decimal, tds::kVersion74), tds::UnsupportedRequest);
  EXPECT_THROW(tds::parseRpcRequest(cut + "\xFF" + u16le(7), tds::kVersion74), tds::UnsupportedRequest);
  std::string lying = head + std::string(1, '\0') + '\0' + static_cast<char>(tds::kTypeBigVarChar) + u16le(0xFFFF) +
                      std::string(5, '\0') + u32le(100) + u32le(0) + u32le(2) + "ab" + u32le(0);
  EXPECT_THROW(tds::parseRpcRequest(lying, tds::kVersion74), tds::ProtocolError);
}

TEST(SqlBatch, TextAfterTheHeaders) {
  EXPECT_EQ(tds::parseSqlBatch(allHeaders() + utf16("EXEC quarlix 'ü'"), tds::kVersion74), "EXEC quarlix 'ü'");
  EXPECT_EQ(tds::parseSqlBatch(utf16("SET x"), tds::kVersion71), "SET x");
}

}  // namespace
