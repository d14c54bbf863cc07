// Builds the tokens of a server's answer (LOGINACK, ENVCHANGE, ERROR/INFO,
// COLMETADATA, ROW, RETURNSTATUS, DONE...) in the layout of the protocol
// version the connection agreed on. Texts are given as UTF-16 and go out as
// UTF-16LE; cells are given as the bytes they carry.
#pragma once

#include "opends_host.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

using Collation = std::array<std::uint8_t, 5>;

struct ColumnDescription {
  std::uint8_t wireType = 0;    // kTypeBigVarChar, kTypeBigVarBinary, kTypeNVarChar, kTypeText, kTypeNText, kTypeImage
  bool fromCodePage = false;    // nvarchar or ntext of the procedure's code page text: cells are converted
  std::uint32_t maxLength = 0;  // bytes
  std::u16string name;          // at most 255 code units go out
  Collation collation{};
};

// The UTF-16LE bytes of an nvarchar cell holding UTF-8 text; each maximal
// subpart of an ill-formed sequence becomes one U+FFFD.
std::string utf16Of(std::string_view utf8);

// An ERROR or INFO token.
struct MessageToken {
  enum class Class { error, info };
  Class kind = Class::error;
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 0;
  std::u16string text;
  std::u16string server;
  std::u16string procedure;
  std::uint32_t line = 0;
};

class TokenWriter {
 public:
  explicit TokenWriter(std::uint32_t version) : version_(version) {}

  std::string& bytes() { return out_; }
  void clear() { out_.clear(); }

  void loginAck(std::u16string_view program, std::array<std::uint8_t, 4> programVersion);
  void envChange(std::uint8_t type, std::u16string_view newValue, std::u16string_view oldValue);
  void envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  void message(const MessageToken& message);
  void done(std::uint8_t token, std::uint16_t status, std::uint16_t command, std::uint64_t count);
  void returnStatus(std::int32_t value);
  void colMetadata(const std::vector<ColumnDescription>& columns);
  // False (nothing written) when a cell does not fit its column's type.
  bool row(const std::vector<ColumnDescription>& columns, const OdsCell* cells, int cellCount);

  // The layouts tokens are made of, also for tokens written beside this class.
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  void raw(std::string_view bytes) { out_.append(bytes.data(), bytes.size()); }
  void bVarchar(std::u16string_view text);  // 1-byte length in code units
  void collation(const Collation& collation);
  void userType();  // a column's user type: 0, 4 bytes from 7.2 and 2 before

 private:
  void usVarchar(std::u16string_view text);  // 2-byte length in code units
  void utf16le(std::u16string_view text);
  size_t beginLength16();
  void endLength16(size_t at);

  std::uint32_t version_;
  std::string out_;
};

}  // namespace tds
