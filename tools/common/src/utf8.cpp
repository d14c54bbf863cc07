#include "utf8.h"

std::string utf16leBytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::u16string fromUtf16le(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

bool utf8ToUtf16le(std::string_view text, std::string& out) {
  std::u16string wide;
  if (!unicode::utf8ToUtf16(text, wide, unicode::BadInput::refuse)) return false;
  out = utf16leBytes(wide);
  return true;
}

std::string utf16leToUtf8(std::string_view utf16) { return unicode::utf16ToUtf8(fromUtf16le(utf16)); }

size_t displayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t pos = 0; pos < text.size();) {
    const unicode::Decoded d = unicode::decodeUtf8(text, pos);
    width += d.wellFormed ? 1 : d.length;
    pos += d.length;
  }
  return width;
}
