// The byte layouts of the tokens an answer is made of, in the layout of the
// protocol version the connection agreed on: the answer writer's own
// buffer, not used anywhere else. Texts go out as UTF-16LE.
#pragma once

#include "tds/columns.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

class TokenBuffer {
 public:
  explicit TokenBuffer(std::uint32_t version) : version_(version) {}

  size_t size() const { return out_.size(); }
  std::string_view view() const { return out_; }
  // The first `count` bytes have left: they go.
  void drop(size_t count) { out_.erase(0, count); }
  void clear() { out_.clear(); }

  void sspi(std::string_view token);
  void loginAck(std::u16string_view program, std::array<std::uint8_t, 4> programVersion);
  void envChange(std::uint8_t type, std::u16string_view newValue, std::u16string_view oldValue);
  void envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  void message(const MessageToken& message);
  void done(std::uint8_t token, std::uint16_t status, std::uint16_t command, std::uint64_t count);
  void returnStatus(std::int32_t value);
  void intReturnValue(std::uint16_t ordinal, std::u16string_view name, std::int32_t value);
  void colMetadata(const std::vector<ColumnDescription>& columns);
  // False (nothing written) when a cell does not fit its column's type.
  bool row(const std::vector<ColumnDescription>& columns, const Cell* cells, int cellCount);

 private:
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  void raw(std::string_view bytes) { out_.append(bytes.data(), bytes.size()); }
  void bVarchar(std::u16string_view text);   // 1-byte length in code units
  void usVarchar(std::u16string_view text);  // 2-byte length in code units
  void utf16le(std::u16string_view text);
  void collation(const Collation& collation);
  void userType();  // a column's user type: 0, 4 bytes from 7.2 and 2 before
  void typeInfo(const ColumnDescription& column);
  bool cell(const ColumnDescription& column, const Cell* cell);
  size_t beginLength16();
  void endLength16(size_t at);

  std::uint32_t version_;
  std::string out_;
};

}  // namespace tds
