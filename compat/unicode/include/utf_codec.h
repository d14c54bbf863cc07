// The one UTF-8 / UTF-16 codec of the tree.
//
// Well-formed text: UTF-8 with no overlong form, no encoded surrogate and
// nothing past U+10FFFF; UTF-16 whose surrogates come in high-low pairs.
// A caller picks what ill-formed input does:
//   BadInput::refuse   the conversion fails and writes nothing;
//   BadInput::replace  each maximal subpart of an ill-formed UTF-8 sequence
//                      (the longest prefix that could still have begun a
//                      well-formed sequence, or else one byte) becomes one
//                      U+FFFD, as does each unpaired surrogate. This is
//                      Unicode's recommended practice and what the platform's
//                      own converter does, so both builds read bad bytes the
//                      same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace unicode {

enum class BadInput { refuse, replace };

constexpr char32_t kReplacementCharacter = 0xFFFD;

// One scalar value read from encoded text. When the text there is
// ill-formed, `wellFormed` is false, `scalar` is U+FFFD and `length` spans
// the maximal subpart (UTF-8) or the unpaired surrogate (UTF-16): never 0.
struct Decoded {
  char32_t scalar;
  std::size_t length;
  bool wellFormed;
};

// The scalar value whose UTF-8 starts at in[pos] (pos < in.size()).
Decoded decodeUtf8(std::string_view in, std::size_t pos);

// The scalar value whose UTF-16 starts at in[pos] (pos < size). Unit is any
// 16-bit code unit type: char16_t, or the platform's wchar_t on Windows.
template <class Unit>
Decoded decodeUtf16(const Unit* in, std::size_t size, std::size_t pos) {
  const char32_t unit = static_cast<char16_t>(in[pos]);
  if (unit < 0xD800 || unit > 0xDFFF) return {unit, 1, true};
  if (unit <= 0xDBFF && pos + 1 < size) {
    const char32_t low = static_cast<char16_t>(in[pos + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) return {0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), 2, true};
  }
  return {kReplacementCharacter, 1, false};
}

// Writes the UTF-8 of a scalar value to out; returns the byte count (1-4).
std::size_t encodeUtf8(char32_t scalar, char out[4]);

// Writes the UTF-16 of a scalar value to out; returns the unit count (1-2).
template <class Unit>
std::size_t encodeUtf16(char32_t scalar, Unit out[2]) {
  if (scalar < 0x10000) {
    out[0] = static_cast<Unit>(scalar);
    return 1;
  }
  scalar -= 0x10000;
  out[0] = static_cast<Unit>(0xD800 + (scalar >> 10));
  out[1] = static_cast<Unit>(0xDC00 + (scalar & 0x3FF));
  return 2;
}

inline void appendUtf8(std::string& out, char32_t scalar) {
  char bytes[4];
  out.append(bytes, encodeUtf8(scalar, bytes));
}

template <class Unit>
void appendUtf16(std::basic_string<Unit>& out, char32_t scalar) {
  Unit units[2];
  out.append(units, encodeUtf16(scalar, units));
}

// UTF-8 to UTF-16, under the policy. On refusal returns false and leaves out
// as it was; otherwise out holds the whole conversion.
template <class Unit>
bool utf8ToUtf16(std::string_view in, std::basic_string<Unit>& out, BadInput bad) {
  // At most one unit a byte: a scalar of four bytes takes two units, any
  // other sequence or maximal subpart one.
  std::basic_string<Unit> result(in.size(), Unit());
  std::size_t written = 0;
  for (std::size_t pos = 0; pos < in.size();) {
    const unsigned char byte = static_cast<unsigned char>(in[pos]);
    if (byte < 0x80) {  // ASCII, the common case, without decoding
      result[written++] = static_cast<Unit>(byte);
      ++pos;
      continue;
    }
    const Decoded d = decodeUtf8(in, pos);
    if (!d.wellFormed && bad == BadInput::refuse) return false;
    written += encodeUtf16(d.scalar, &result[written]);
    pos += d.length;
  }
  result.resize(written);
  out = std::move(result);
  return true;
}

// UTF-16 to UTF-8, likewise.
template <class Unit>
bool utf16ToUtf8(std::basic_string_view<Unit> in, std::string& out, BadInput bad) {
  std::string result;
  result.reserve(in.size());
  for (std::size_t pos = 0; pos < in.size();) {
    if (static_cast<char16_t>(in[pos]) < 0x80) {  // ASCII, without decoding
      result.push_back(static_cast<char>(in[pos++]));
      continue;
    }
    const Decoded d = decodeUtf16(in.data(), in.size(), pos);
    if (!d.wellFormed && bad == BadInput::refuse) return false;
    appendUtf8(result, d.scalar);
    pos += d.length;
  }
  out = std::move(result);
  return true;
}

// The replacing conversions, for callers that never refuse.
inline std::u16string utf8ToUtf16(std::string_view in) {
  std::u16string out;
  utf8ToUtf16(in, out, BadInput::replace);
  return out;
}
inline std::string utf16ToUtf8(std::u16string_view in) {
  std::string out;
  utf16ToUtf8(in, out, BadInput::replace);
  return out;
}

bool isWellFormedUtf8(std::string_view in);

}  // namespace unicode
