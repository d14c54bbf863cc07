// Windows-1252, ISO-8859-1 and US-ASCII, with the tables Windows uses.
#include "codecs.h"

namespace win32compat {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined map to the C1 controls of the same value, as on Windows.
constexpr WCHAR kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool isSingleByte(UINT codePage) { return codePage == 1252 || codePage == 28591 || codePage == 20127; }

WCHAR singleByteToUnicode(UINT codePage, unsigned char byte) {
  switch (codePage) {
    case 1252: return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
    case 20127:
      // Windows' US-ASCII table drops the eighth bit.
      return byte & 0x7F;
    default: return byte;
  }
}

int unicodeToSingleByte(UINT codePage, WCHAR unit) {
  switch (codePage) {
    case 1252:
      if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
      for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == unit) return 0x80 + i;
      }
      return -1;
    case 20127: return unit < 0x80 ? unit : -1;
    default: return unit <= 0xFF ? unit : -1;
  }
}

}  // namespace win32compat
