#include "json_text.h"

#include "utf8.h"

namespace {

void appendEscapedUnit(std::string& out, unsigned value) {
  static const char digits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 0xF];
}

}  // namespace

void appendJsonString(std::string& out, std::string_view bytes, InvalidUtf8 invalid) {
  out += '"';
  for (size_t pos = 0; pos < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[pos]);
    const unicode::Decoded d = unicode::decodeUtf8(bytes, pos);
    const size_t length = d.length;
    if (!d.wellFormed) {
      if (invalid == InvalidUtf8::Replace) {
        appendEscapedUnit(out, 0xFFFD);
      } else {
        for (size_t i = 0; i < length; ++i) appendEscapedUnit(out, static_cast<unsigned char>(bytes[pos + i]));
      }
      pos += length;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20)
          appendEscapedUnit(out, c);
        else
          out.append(bytes.substr(pos, length));
    }
    pos += length;
  }
  out += '"';
}

std::string jsonString(std::string_view bytes, InvalidUtf8 invalid) {
  std::string out;
  appendJsonString(out, bytes, invalid);
  return out;
}

std::string hexBytes(std::string_view bytes, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}
