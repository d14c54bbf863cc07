#include "case_fold.h"

namespace win32compat {

namespace {

// Blocks where capital and small letters alternate: `first` is the first
// capital, pairs continue up to `last`.
struct AlternatingRange {
  WCHAR first;
  WCHAR last;
};

constexpr AlternatingRange kAlternating[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x0139, 0x0148}, {0x014A, 0x0177}, {0x0179, 0x017E},
    {0x0370, 0x0373}, {0x0376, 0x0377}, {0x03D8, 0x03EF}, {0x0460, 0x0481}, {0x048A, 0x04BF},
    {0x04C1, 0x04CE}, {0x04D0, 0x052F},
};

struct Single {
  WCHAR from;
  WCHAR to;
};

// Letters outside the regular blocks, sorted by `from`.
constexpr Single kSingles[] = {
    {0x00B5, 0x03BC}, {0x0178, 0x00FF}, {0x017F, 0x0073}, {0x037F, 0x03F3}, {0x0386, 0x03AC},
    {0x038C, 0x03CC}, {0x038E, 0x03CD}, {0x038F, 0x03CE}, {0x03C2, 0x03C3}, {0x03CF, 0x03D7},
    {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6}, {0x03D6, 0x03C0}, {0x03F0, 0x03BA},
    {0x03F1, 0x03C1}, {0x03F4, 0x03B8}, {0x03F5, 0x03B5}, {0x03F7, 0x03F8}, {0x03F9, 0x03F2},
    {0x03FA, 0x03FB}, {0x03FD, 0x037B}, {0x03FE, 0x037C}, {0x03FF, 0x037D}, {0x04C0, 0x04CF},
};

}  // namespace

WCHAR fold_case(WCHAR c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 0x20) : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) ||  // Latin-1 capitals
      (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) ||  // Greek capitals
      (c >= 0x0410 && c <= 0x042F)) {  // Cyrillic capitals
    return static_cast<WCHAR>(c + 0x20);
  }
  if (c >= 0x0388 && c <= 0x038A) return static_cast<WCHAR>(c + 0x25);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<WCHAR>(c + 0x50);
  for (const AlternatingRange &range : kAlternating) {
    if (c >= range.first && c <= range.last) {
      return (c - range.first) % 2 == 0 ? static_cast<WCHAR>(c + 1) : c;
    }
  }
  for (const Single &single : kSingles) {
    if (single.from == c) return single.to;
  }
  return c;
}

}  // namespace win32compat
