#include "tds/login7.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"
#include "utf8.h"

namespace tds {

namespace {

constexpr size_t kFixedPart = 86;  // up to the attach-file field: what TDS 7.1 has

std::string field(std::string_view payload, ByteReader& offsets, const char* what, bool scrambled = false) {
  std::uint16_t offset = offsets.u16(what);
  std::uint16_t units = offsets.u16(what);
  if (units == 0) return std::string();
  if (static_cast<size_t>(offset) + static_cast<size_t>(units) * 2 > payload.size())
    throw ProtocolError(std::string("LOGIN7 ") + what + " lies outside the message");
  std::string bytes(payload.substr(offset, static_cast<size_t>(units) * 2));
  if (scrambled)
    for (char& c : bytes) {
      auto b = static_cast<unsigned char>(c ^ 0xA5);
      c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
    }
  return utf16leToUtf8(bytes);
}

}  // namespace

Login7 parseLogin7(std::string_view payload) {
  if (payload.size() < kFixedPart) throw ProtocolError("LOGIN7 is too short");
  ByteReader fixed(payload);
  Login7 login;
  std::uint32_t length = fixed.u32("LOGIN7");
  if (length > payload.size() || length < kFixedPart) throw ProtocolError("LOGIN7 length disagrees with the message");
  login.tdsVersion = fixed.u32("LOGIN7");
  login.packetSize = fixed.u32("LOGIN7");
  fixed.skip(4 + 4 + 4, "LOGIN7");  // client program version, process id, connection id
  fixed.u8("LOGIN7");               // option flags 1
  std::uint8_t flags2 = fixed.u8("LOGIN7");
  login.integratedSecurity = (flags2 & 0x80) != 0;
  fixed.skip(1 + 1 + 4 + 4, "LOGIN7");  // type flags, option flags 3, time zone, LCID
  const std::string_view message = payload.substr(0, length);
  login.hostName = field(message, fixed, "host name");
  login.userName = field(message, fixed, "user name");
  login.password = field(message, fixed, "password", true);
  login.appName = field(message, fixed, "application name");
  field(message, fixed, "server name");
  fixed.skip(4, "LOGIN7");  // extension
  field(message, fixed, "library name");
  login.language = field(message, fixed, "language");
  login.database = field(message, fixed, "database");
  fixed.skip(6, "LOGIN7");  // the client's MAC address
  const std::uint16_t sspiOffset = fixed.u16("SSPI");
  const std::uint16_t sspiLength = fixed.u16("SSPI");  // bytes, not code units
  if (sspiLength > 0) {
    if (static_cast<size_t>(sspiOffset) + sspiLength > message.size())
      throw ProtocolError("LOGIN7 SSPI lies outside the message");
    login.sspi = std::string(message.substr(sspiOffset, sspiLength));
  }
  return login;
}

std::uint32_t agreedVersion(std::uint32_t clientVersion) {
  if (clientVersion >= kVersion74) return kVersion74;
  if (clientVersion >= kVersion73B) return kVersion73B;
  if (clientVersion >= kVersion73A) return kVersion73A;
  if (clientVersion >= kVersion72) return kVersion72;
  if (clientVersion >= kVersion71) return kVersion71;
  return 0;
}

}  // namespace tds
