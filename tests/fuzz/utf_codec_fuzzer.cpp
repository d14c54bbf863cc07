// The UTF-8 / UTF-16 codec: the input read as UTF-8 and as UTF-16LE. Every
// scalar value read is encoded in its one form; what replacing produces is
// always well-formed; what refusing accepts goes back unchanged; refusing
// fails exactly when replacing had to replace.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "utf_codec.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Each scalar value read as well-formed is one, and its bytes are the one
// encoding of it (no overlong form slips through).
void checkSteps(std::string_view in) {
  for (size_t pos = 0; pos < in.size();) {
    const unicode::Decoded d = unicode::decodeUtf8(in, pos);
    require(d.length >= 1 && d.length <= 4 && pos + d.length <= in.size());
    if (d.wellFormed) {
      require(d.scalar <= 0x10FFFF && (d.scalar < 0xD800 || d.scalar > 0xDFFF));
      char bytes[4];
      require(std::string_view(bytes, unicode::encodeUtf8(d.scalar, bytes)) == in.substr(pos, d.length));
    } else {
      require(d.scalar == unicode::kReplacementCharacter);
    }
    pos += d.length;
  }
}

void checkUtf8(std::string_view in) {
  checkSteps(in);
  std::u16string replaced;
  require(unicode::utf8ToUtf16(in, replaced, unicode::BadInput::replace));
  std::string back;
  require(unicode::utf16ToUtf8(std::u16string_view(replaced), back, unicode::BadInput::refuse));
  require(unicode::isWellFormedUtf8(back));

  std::u16string refused;
  const bool accepted = unicode::utf8ToUtf16(in, refused, unicode::BadInput::refuse);
  require(accepted == unicode::isWellFormedUtf8(in));
  if (accepted) {
    require(refused == replaced);
    require(back == in);
  } else {
    require(refused.empty());
    require(replaced.find(u'\xFFFD') != std::u16string::npos);
  }
}

void checkUtf16(std::u16string_view in) {
  std::string replaced;
  require(unicode::utf16ToUtf8(in, replaced, unicode::BadInput::replace));
  require(unicode::isWellFormedUtf8(replaced));
  std::string refused;
  if (unicode::utf16ToUtf8(in, refused, unicode::BadInput::refuse)) {
    require(refused == replaced);
    std::u16string back;
    require(unicode::utf8ToUtf16(refused, back, unicode::BadInput::refuse));
    require(back == in);
  } else {
    require(refused.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkUtf8(bytes);
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  checkUtf16(units);
  return 0;
}
