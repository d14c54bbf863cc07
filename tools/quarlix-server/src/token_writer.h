// Builds the tokens of a server's answer (LOGINACK, ENVCHANGE, ERROR/INFO,
// COLMETADATA, ROW, RETURNSTATUS, DONE...) in the layout of the protocol
// version the connection agreed on. Texts are given as UTF-16LE bytes.
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
  std::uint8_t wireType = 0;      // kTypeBigVarChar, kTypeBigVarBinary, kTypeNVarChar, kTypeText, kTypeNText, kTypeImage
  bool fromCodePage = false;      // nvarchar or ntext of the procedure's code page text: cells are converted
  std::uint32_t maxLength = 0;    // bytes
  std::string nameUtf16;          // at most 255 code units
  Collation collation{};
};

// The UTF-16LE of UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::string utf16Of(std::string_view utf8);

class TokenWriter {
 public:
  explicit TokenWriter(std::uint32_t version) : version_(version) {}

  std::string &bytes() { return out_; }
  void clear() { out_.clear(); }

  void loginAck(std::string_view programUtf16, std::array<std::uint8_t, 4> programVersion);
  void envChange(std::uint8_t type, std::string_view newUtf16, std::string_view oldUtf16);
  void envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  void message(bool error, std::int32_t number, std::uint8_t state, std::uint8_t severity, std::string_view textUtf16,
               std::string_view serverUtf16, std::string_view procedureUtf16, std::uint32_t line);
  void done(std::uint8_t token, std::uint16_t status, std::uint16_t command, std::uint64_t count);
  void returnStatus(std::int32_t value);
  void colMetadata(const std::vector<ColumnDescription> &columns);
  // False (nothing written) when a cell does not fit its column's type.
  bool row(const std::vector<ColumnDescription> &columns, const OdsCell *cells, int cellCount);

 private:
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  void bVarchar(std::string_view utf16);   // 1-byte length in code units
  void usVarchar(std::string_view utf16);  // 2-byte length in code units
  void raw(std::string_view bytes) { out_.append(bytes.data(), bytes.size()); }
  size_t beginLength16();
  void endLength16(size_t at);

  std::uint32_t version_;
  std::string out_;
};

}  // namespace tds
