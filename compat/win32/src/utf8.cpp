#include "codecs.h"

namespace win32compat {

namespace {

constexpr WCHAR kReplacement = 0xFFFD;

void put_code_point(uint32_t cp, OutputSink<WCHAR> &out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.put(static_cast<WCHAR>(0xD800 + (cp >> 10)));
    out.put(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.put(static_cast<WCHAR>(cp));
  }
}

// The continuation bytes a lead byte needs and the range its first
// continuation byte must fall in (which rules out overlong forms,
// surrogates and code points above U+10FFFF). Zero needed: not a lead byte.
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

bool decode_utf8(const unsigned char *in, size_t length, bool strict, OutputSink<WCHAR> &out) {
  size_t i = 0;
  while (i < length) {
    unsigned char b = in[i];
    if (b < 0x80) {
      out.put(b);
      ++i;
      continue;
    }
    LeadByte lead = classify(b);
    uint32_t cp = b & (0x3F >> lead.needed);
    size_t next = i + 1;
    int taken = 0;
    for (; taken < lead.needed && next < length; ++taken, ++next) {
      unsigned char low = taken == 0 ? lead.low : 0x80;
      unsigned char high = taken == 0 ? lead.high : 0xBF;
      if (in[next] < low || in[next] > high) break;
      cp = (cp << 6) | (in[next] & 0x3F);
    }
    if (lead.needed == 0 || taken < lead.needed) {
      if (strict) return false;
      out.put(kReplacement);
    } else {
      put_code_point(cp, out);
    }
    i = next;
  }
  return true;
}

bool encode_utf8(const WCHAR *in, size_t length, bool strict, OutputSink<char> &out) {
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      bool paired = cp <= 0xDBFF && i + 1 < length && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF;
      if (paired) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else if (strict) {
        return false;
      } else {
        cp = kReplacement;
      }
    }
    if (cp < 0x80) {
      out.put(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.put(static_cast<char>(0xC0 | (cp >> 6)));
      out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.put(static_cast<char>(0xE0 | (cp >> 12)));
      out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.put(static_cast<char>(0xF0 | (cp >> 18)));
      out.put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

}  // namespace win32compat
