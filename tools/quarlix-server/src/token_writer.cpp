#include "token_writer.h"

#include "tds_constants.h"
#include "utf8.h"

namespace tds {

std::string utf16Of(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0xFFFD;
    size_t length = decodeUtf8(utf8, pos, cp);
    pos += length ? length : 1;
    if (length == 0) cp = 0xFFFD;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

void TokenWriter::u16(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v));
  u8(static_cast<std::uint8_t>(v >> 8));
}
void TokenWriter::u32(std::uint32_t v) {
  u16(static_cast<std::uint16_t>(v));
  u16(static_cast<std::uint16_t>(v >> 16));
}
void TokenWriter::u64(std::uint64_t v) {
  u32(static_cast<std::uint32_t>(v));
  u32(static_cast<std::uint32_t>(v >> 32));
}

void TokenWriter::bVarchar(std::string_view utf16) {
  std::string_view text = utf16.substr(0, std::min<size_t>(utf16.size() / 2, 255) * 2);
  u8(static_cast<std::uint8_t>(text.size() / 2));
  raw(text);
}

void TokenWriter::usVarchar(std::string_view utf16) {
  std::string_view text = utf16.substr(0, std::min<size_t>(utf16.size() / 2, 0xFFFF) * 2);
  u16(static_cast<std::uint16_t>(text.size() / 2));
  raw(text);
}

size_t TokenWriter::beginLength16() {
  size_t at = out_.size();
  u16(0);
  return at;
}

void TokenWriter::endLength16(size_t at) {
  size_t length = out_.size() - at - 2;
  out_[at] = static_cast<char>(length & 0xFF);
  out_[at + 1] = static_cast<char>((length >> 8) & 0xFF);
}

void TokenWriter::loginAck(std::string_view programUtf16, std::array<std::uint8_t, 4> programVersion) {
  u8(kLoginAck);
  size_t at = beginLength16();
  u8(1);  // the interface: T-SQL
  // The version goes most significant byte first here.
  for (int shift = 24; shift >= 0; shift -= 8) u8(static_cast<std::uint8_t>(version_ >> shift));
  bVarchar(programUtf16);
  for (std::uint8_t b : programVersion) u8(b);
  endLength16(at);
}

void TokenWriter::envChange(std::uint8_t type, std::string_view newUtf16, std::string_view oldUtf16) {
  u8(kEnvChange);
  size_t at = beginLength16();
  u8(type);
  bVarchar(newUtf16);
  bVarchar(oldUtf16);
  endLength16(at);
}

void TokenWriter::envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue) {
  u8(kEnvChange);
  size_t at = beginLength16();
  u8(type);
  u8(static_cast<std::uint8_t>(newValue.size()));
  raw(newValue);
  u8(static_cast<std::uint8_t>(oldValue.size()));
  raw(oldValue);
  endLength16(at);
}

void TokenWriter::message(bool error, std::int32_t number, std::uint8_t state, std::uint8_t severity,
                          std::string_view textUtf16, std::string_view serverUtf16, std::string_view procedureUtf16,
                          std::uint32_t line) {
  u8(error ? kError : kInfo);
  size_t at = beginLength16();
  u32(static_cast<std::uint32_t>(number));
  u8(state);
  u8(severity);
  // The token's own length is 16 bits: a longer text is cut to fit.
  usVarchar(textUtf16.substr(0, std::min<size_t>(textUtf16.size(), 60000)));
  bVarchar(serverUtf16);
  bVarchar(procedureUtf16);
  if (atLeast72(version_))
    u32(line);
  else
    u16(static_cast<std::uint16_t>(line));
  endLength16(at);
}

void TokenWriter::done(std::uint8_t token, std::uint16_t status, std::uint16_t command, std::uint64_t count) {
  u8(token);
  u16(status);
  u16(command);
  if (atLeast72(version_))
    u64(count);
  else
    u32(static_cast<std::uint32_t>(count));
}

void TokenWriter::returnStatus(std::int32_t value) {
  u8(kReturnStatus);
  u32(static_cast<std::uint32_t>(value));
}

void TokenWriter::colMetadata(const std::vector<ColumnDescription> &columns) {
  u8(kColMetadata);
  u16(static_cast<std::uint16_t>(columns.size()));
  for (const ColumnDescription &column : columns) {
    if (atLeast72(version_))
      u32(0);  // user type
    else
      u16(0);
    u16(0x0001 | 0x0008);  // nullable, updatable unknown
    u8(column.wireType);
    switch (column.wireType) {
      case kTypeText:
      case kTypeNText:
      case kTypeImage:
        u32(column.maxLength);
        if (column.wireType != kTypeImage)
          for (std::uint8_t b : column.collation) u8(b);
        if (atLeast72(version_))
          u8(0);  // no table name parts
        else
          u16(0);
        break;
      case kTypeBigVarChar:
      case kTypeNVarChar:
        u16(static_cast<std::uint16_t>(column.maxLength));
        for (std::uint8_t b : column.collation) u8(b);
        break;
      default:  // kTypeBigVarBinary
        u16(static_cast<std::uint16_t>(column.maxLength));
        break;
    }
    bVarchar(column.nameUtf16);
  }
}

bool TokenWriter::row(const std::vector<ColumnDescription> &columns, const OdsCell *cells, int cellCount) {
  const size_t start = out_.size();
  u8(kRow);
  for (size_t i = 0; i < columns.size(); ++i) {
    const bool present = static_cast<int>(i) < cellCount;
    const bool isNull = !present || cells[i].isNull;
    const size_t length = isNull ? 0 : static_cast<size_t>(cells[i].length);
    const char *data = isNull ? nullptr : reinterpret_cast<const char *>(cells[i].data);
    const ColumnDescription &column = columns[i];
    if (column.wireType == kTypeText || column.wireType == kTypeNText || column.wireType == kTypeImage) {
      if (isNull) {
        u8(0);
        continue;
      }
      if (length > 0x7FFFFFFF) {
        out_.resize(start);
        return false;
      }
      u8(16);
      raw(std::string_view("quarlix-textptr\0", 16));  // a pointer nobody can use: the server keeps no text
      raw(std::string_view("\0\0\0\0\0\0\0\0", 8));      // timestamp
      u32(static_cast<std::uint32_t>(length));
      raw(std::string_view(data, length));
      continue;
    }
    if (isNull) {
      u16(0xFFFF);
      continue;
    }
    if (length > 8000) {
      out_.resize(start);
      return false;
    }
    u16(static_cast<std::uint16_t>(length));
    raw(std::string_view(data, length));
  }
  return true;
}

}  // namespace tds
