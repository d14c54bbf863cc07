#include "tds/token_buffer.h"

#include "tds/tds_constants.h"
#include "utf8.h"

namespace tds {

namespace {

constexpr std::uint32_t kVariantMaxLength = 8016;
constexpr std::uint32_t kLongestShortValue = 8000;

}  // namespace

std::string utf16Of(std::string_view utf8) { return utf16leBytes(unicode::utf8ToUtf16(utf8)); }

void TokenBuffer::u16(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v));
  u8(static_cast<std::uint8_t>(v >> 8));
}
void TokenBuffer::u32(std::uint32_t v) {
  u16(static_cast<std::uint16_t>(v));
  u16(static_cast<std::uint16_t>(v >> 16));
}
void TokenBuffer::u64(std::uint64_t v) {
  u32(static_cast<std::uint32_t>(v));
  u32(static_cast<std::uint32_t>(v >> 32));
}

void TokenBuffer::utf16le(std::u16string_view text) {
  for (char16_t unit : text) u16(unit);
}

void TokenBuffer::bVarchar(std::u16string_view text) {
  text = text.substr(0, 255);
  u8(static_cast<std::uint8_t>(text.size()));
  utf16le(text);
}

void TokenBuffer::usVarchar(std::u16string_view text) {
  text = text.substr(0, 0xFFFF);
  u16(static_cast<std::uint16_t>(text.size()));
  utf16le(text);
}

void TokenBuffer::collation(const Collation& collation) {
  for (std::uint8_t b : collation) u8(b);
}

void TokenBuffer::userType() {
  if (atLeast72(version_))
    u32(0);
  else
    u16(0);
}

size_t TokenBuffer::beginLength16() {
  size_t at = out_.size();
  u16(0);
  return at;
}

void TokenBuffer::endLength16(size_t at) {
  size_t length = out_.size() - at - 2;
  out_[at] = static_cast<char>(length & 0xFF);
  out_[at + 1] = static_cast<char>((length >> 8) & 0xFF);
}

void TokenBuffer::sspi(std::string_view token) {
  u8(kSspi);
  u16(static_cast<std::uint16_t>(token.size()));
  raw(token);
}

void TokenBuffer::loginAck(std::u16string_view program, std::array<std::uint8_t, 4> programVersion) {
  u8(kLoginAck);
  size_t at = beginLength16();
  u8(1);  // the interface: T-SQL
  // The version goes most significant byte first here.
  for (int shift = 24; shift >= 0; shift -= 8) u8(static_cast<std::uint8_t>(version_ >> shift));
  bVarchar(program);
  for (std::uint8_t b : programVersion) u8(b);
  endLength16(at);
}

void TokenBuffer::envChange(std::uint8_t type, std::u16string_view newValue, std::u16string_view oldValue) {
  u8(kEnvChange);
  size_t at = beginLength16();
  u8(type);
  bVarchar(newValue);
  bVarchar(oldValue);
  endLength16(at);
}

void TokenBuffer::envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue) {
  u8(kEnvChange);
  size_t at = beginLength16();
  u8(type);
  u8(static_cast<std::uint8_t>(newValue.size()));
  raw(newValue);
  u8(static_cast<std::uint8_t>(oldValue.size()));
  raw(oldValue);
  endLength16(at);
}

void TokenBuffer::message(const MessageToken& message) {
  u8(message.kind == MessageToken::Class::error ? kError : kInfo);
  size_t at = beginLength16();
  u32(static_cast<std::uint32_t>(message.number));
  u8(message.state);
  u8(message.severity);
  // The token's own length is 16 bits: a longer text is cut to fit.
  usVarchar(std::u16string_view(message.text).substr(0, 30000));
  bVarchar(message.server);
  bVarchar(message.procedure);
  if (atLeast72(version_))
    u32(message.line);
  else
    u16(static_cast<std::uint16_t>(message.line));
  endLength16(at);
}

void TokenBuffer::done(std::uint8_t token, std::uint16_t status, std::uint16_t command, std::uint64_t count) {
  u8(token);
  u16(status);
  u16(command);
  if (atLeast72(version_))
    u64(count);
  else
    u32(static_cast<std::uint32_t>(count));
}

void TokenBuffer::returnStatus(std::int32_t value) {
  u8(kReturnStatus);
  u32(static_cast<std::uint32_t>(value));
}

void TokenBuffer::intReturnValue(std::uint16_t ordinal, std::u16string_view name, std::int32_t value) {
  u8(kReturnValue);
  u16(ordinal);
  bVarchar(name);
  u8(0x01);  // an output parameter
  userType();
  u16(0x0001);
  u8(kTypeIntN);
  u8(4);
  u8(4);
  u32(static_cast<std::uint32_t>(value));
}

void TokenBuffer::typeInfo(const ColumnDescription& column) {
  u8(column.wireType);
  switch (column.wireType) {
    case kTypeText:
    case kTypeNText:
    case kTypeImage:
      u32(column.maxLength);
      if (column.wireType != kTypeImage) collation(column.collation);
      if (atLeast72(version_))
        u8(0);  // no table name parts
      else
        u16(0);
      return;
    case kTypeBigVarChar:
    case kTypeNVarChar:
      u16(static_cast<std::uint16_t>(column.maxLength));
      collation(column.collation);
      return;
    case kTypeIntN: u8(static_cast<std::uint8_t>(column.maxLength)); return;
    case kTypeNumericN:
      u8(static_cast<std::uint8_t>(column.maxLength));
      u8(column.precision);
      u8(column.scale);
      return;
    case kTypeVariant: u32(kVariantMaxLength); return;
    default:  // kTypeBigVarBinary
      u16(static_cast<std::uint16_t>(column.maxLength));
      return;
  }
}

void TokenBuffer::colMetadata(const std::vector<ColumnDescription>& columns) {
  u8(kColMetadata);
  u16(static_cast<std::uint16_t>(columns.size()));
  for (const ColumnDescription& column : columns) {
    userType();
    u16(column.flags);
    typeInfo(column);
    bVarchar(column.name);
  }
}

bool TokenBuffer::cell(const ColumnDescription& column, const Cell* cell) {
  const bool isNull = !cell || cell->isNull;
  const size_t length = isNull ? 0 : static_cast<size_t>(cell->length);
  const std::string_view bytes =
      isNull ? std::string_view() : std::string_view(reinterpret_cast<const char*>(cell->data), length);
  switch (column.wireType) {
    case kTypeText:
    case kTypeNText:
    case kTypeImage:
      if (isNull) {
        u8(0);
        return true;
      }
      if (length > 0x7FFFFFFF) return false;
      u8(16);
      raw(std::string_view("quarlix-textptr\0", 16));  // a pointer nobody can use: the server keeps no text
      raw(std::string_view("\0\0\0\0\0\0\0\0", 8));    // timestamp
      u32(static_cast<std::uint32_t>(length));
      raw(bytes);
      return true;
    case kTypeIntN:
    case kTypeNumericN:
      if (length > 255) return false;
      u8(static_cast<std::uint8_t>(length));  // 0: NULL
      raw(bytes);
      return true;
    case kTypeVariant:
      if (length > kVariantMaxLength) return false;
      u32(static_cast<std::uint32_t>(length));  // 0: NULL
      raw(bytes);
      return true;
    default:
      if (isNull) {
        u16(0xFFFF);
        return true;
      }
      if (length > kLongestShortValue) return false;
      u16(static_cast<std::uint16_t>(length));
      raw(bytes);
      return true;
  }
}

bool TokenBuffer::row(const std::vector<ColumnDescription>& columns, const Cell* cells, int cellCount) {
  const size_t start = out_.size();
  u8(kRow);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!cell(columns[i], static_cast<int>(i) < cellCount ? &cells[i] : nullptr)) {
      out_.resize(start);
      return false;
    }
  }
  return true;
}

}  // namespace tds
