#include "text.h"

#include "simple_case_fold.h"
#include "utf_codec.h"

namespace adsi {

WideString utf8ToUtf16(std::string_view utf8) {
  WideString out;
  unicode::utf8ToUtf16(utf8, out, unicode::BadInput::replace);
  return out;
}

std::string utf16ToUtf8(WideStringView utf16) {
  std::string out;
  unicode::utf16ToUtf8(utf16, out, unicode::BadInput::replace);
  return out;
}

std::string foldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {  // the common case, byte by byte
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      ++i;
      continue;
    }
    const unicode::Decoded d = unicode::decodeUtf8(utf8, i);
    unicode::appendUtf8(out, unicode::simpleCaseFold(d.scalar));
    i += d.length;
  }
  return out;
}

std::string collapseSpaces(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  bool pendingSpace = false;
  for (char c : utf8) {
    if (c == ' ') {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace) out += ' ';
    pendingSpace = false;
    out += c;
  }
  return out;
}

BSTR allocBstr(std::string_view utf8) {
  size_t ascii = 0;
  while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
  if (ascii == utf8.size()) {  // the common case: widened straight into the BSTR
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (out)
      for (size_t i = 0; i < utf8.size(); ++i) out[i] = static_cast<WCHAR>(utf8[i]);
    return out;
  }
  WideString wide = utf8ToUtf16(utf8);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace adsi
