#include "utf_codec.h"

namespace unicode {
namespace {

// The continuation bytes a lead byte needs, and the range its first
// continuation byte must fall in: the narrower ranges after E0, ED, F0 and F4
// rule out overlong forms, surrogates and values past U+10FFFF, so a byte
// outside them ends the maximal subpart. Zero needed: not a lead byte.
struct LeadByte {
  int needed;
  unsigned char low;
  unsigned char high;
};

LeadByte classify(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
  if (b == 0xE0) return {2, 0xA0, 0xBF};
  if (b == 0xED) return {2, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
  if (b == 0xF0) return {3, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
  if (b == 0xF4) return {3, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

Decoded decodeUtf8(std::string_view in, std::size_t pos) {
  const auto b = static_cast<unsigned char>(in[pos]);
  if (b < 0x80) return {b, 1, true};
  const LeadByte lead = classify(b);
  char32_t value = b & (0x3F >> lead.needed);
  std::size_t next = pos + 1;
  int taken = 0;
  for (; taken < lead.needed && next < in.size(); ++taken, ++next) {
    const auto c = static_cast<unsigned char>(in[next]);
    const unsigned char low = taken == 0 ? lead.low : 0x80;
    const unsigned char high = taken == 0 ? lead.high : 0xBF;
    if (c < low || c > high) break;
    value = (value << 6) | (c & 0x3F);
  }
  if (lead.needed == 0 || taken < lead.needed) return {kReplacementCharacter, next - pos, false};
  return {value, next - pos, true};
}

std::size_t encodeUtf8(char32_t scalar, char out[4]) {
  if (scalar < 0x80) {
    out[0] = static_cast<char>(scalar);
    return 1;
  }
  if (scalar < 0x800) {
    out[0] = static_cast<char>(0xC0 | (scalar >> 6));
    out[1] = static_cast<char>(0x80 | (scalar & 0x3F));
    return 2;
  }
  if (scalar < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (scalar >> 12));
    out[1] = static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (scalar & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (scalar >> 18));
  out[1] = static_cast<char>(0x80 | ((scalar >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (scalar & 0x3F));
  return 4;
}

bool isWellFormedUtf8(std::string_view in) {
  for (std::size_t pos = 0; pos < in.size();) {
    const Decoded d = decodeUtf8(in, pos);
    if (!d.wellFormed) return false;
    pos += d.length;
  }
  return true;
}

}  // namespace unicode
