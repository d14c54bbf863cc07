#include "utf8.h"

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t decodeUtf8(std::string_view text, size_t pos, char32_t &codePoint) {
  if (pos >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if (!continuation(c)) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  codePoint = value;
  return length;
}

bool utf8ToUtf16le(std::string_view text, std::string &out) {
  std::string bytes;
  auto put = [&bytes](char32_t unit) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    size_t length = decodeUtf8(text, pos, cp);
    if (length == 0) return false;
    pos += length;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  out = std::move(bytes);
  return true;
}

std::string utf16leToUtf8(std::string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  auto unitAt = [&utf16](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(utf16[i]) | (static_cast<unsigned char>(utf16[i + 1]) << 8));
  };
  const size_t units = utf16.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    char32_t cp = unitAt(2 * i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unitAt(2 * i + 2) >= 0xDC00 && unitAt(2 * i + 2) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(2 * i + 2) - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

size_t displayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t pos = 0; pos < text.size(); ++width) {
    char32_t cp = 0;
    size_t length = decodeUtf8(text, pos, cp);
    pos += length ? length : 1;
  }
  return width;
}
