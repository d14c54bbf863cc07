// Unicode simple case folding (statuses C and S of CaseFolding.txt), the one
// fold every case-insensitive comparison of the stand-ins uses, so that they
// agree with each other and with the data. Header-only: the Windows builds of
// the embedded store need it as much as the Linux libraries do.
#pragma once

#include <algorithm>
#include <iterator>

namespace unicode {

struct CaseFoldPair {
  char32_t from;
  char32_t to;
};

inline constexpr CaseFoldPair kSimpleCaseFold[] = {
#include "case_fold_table.inc"
};

// The simple case fold of `c`; a code point without one folds to itself.
// Code points of the BMP fold into the BMP, so UTF-16 text keeps its length.
inline char32_t simpleCaseFold(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  const CaseFoldPair* end = std::end(kSimpleCaseFold);
  const CaseFoldPair* found = std::lower_bound(
      std::begin(kSimpleCaseFold), end, c, [](const CaseFoldPair& pair, char32_t code) { return pair.from < code; });
  return found != end && found->from == c ? found->to : c;
}

}  // namespace unicode
