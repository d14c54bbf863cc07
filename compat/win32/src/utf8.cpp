#include "codecs.h"

#include <string_view>

#include "utf_codec.h"

namespace win32compat {

bool decodeUtf8(const unsigned char* in, size_t length, bool strict, OutputSink<WCHAR>& out) {
  const std::string_view text(reinterpret_cast<const char*>(in), length);
  for (size_t pos = 0; pos < length;) {
    if (in[pos] < 0x80) {  // ASCII, without decoding
      out.put(static_cast<WCHAR>(in[pos++]));
      continue;
    }
    const unicode::Decoded d = unicode::decodeUtf8(text, pos);
    if (!d.wellFormed && strict) return false;
    WCHAR units[2];
    for (size_t i = 0, n = unicode::encodeUtf16(d.scalar, units); i < n; ++i) out.put(units[i]);
    pos += d.length;
  }
  return true;
}

bool encodeUtf8(const WCHAR* in, size_t length, bool strict, OutputSink<char>& out) {
  for (size_t pos = 0; pos < length;) {
    if (static_cast<char16_t>(in[pos]) < 0x80) {  // ASCII, without decoding
      out.put(static_cast<char>(in[pos++]));
      continue;
    }
    const unicode::Decoded d = unicode::decodeUtf16(in, length, pos);
    if (!d.wellFormed && strict) return false;
    char bytes[4];
    for (size_t i = 0, n = unicode::encodeUtf8(d.scalar, bytes); i < n; ++i) out.put(bytes[i]);
    pos += d.length;
  }
  return true;
}

}  // namespace win32compat
