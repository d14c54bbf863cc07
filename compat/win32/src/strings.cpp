// kernel32's string helpers. lstrcmp(i) order here is ordinal after simple
// case folding; the results are -1, 0 and 1, as CompareString gives them.
#include <strings.h>

#include <new>
#include <string>

#include "case_fold.h"
#include "windows.h"

namespace {

int signOf(long difference) { return difference < 0 ? -1 : difference > 0 ? 1 : 0; }

template <class Fold>
int compareWide(LPCWSTR a, LPCWSTR b, Fold fold) {
  // A null string sorts before every other one.
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  for (;; ++a, ++b) {
    WCHAR x = fold(*a);
    WCHAR y = fold(*b);
    if (x != y || !x) return signOf(long(x) - long(y));
  }
}

WCHAR unchanged(WCHAR c) { return c; }

// An ANSI string in UTF-16, through the ANSI code page.
bool widen(LPCSTR text, std::u16string* wide) {
  int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return false;
  wide->resize(size_t(needed));
  return MultiByteToWideChar(CP_ACP, 0, text, -1, &(*wide)[0], needed) == needed;
}

}  // namespace

int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) { return compareWide(lpString1, lpString2, unchanged); }

int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) { return compareWide(lpString1, lpString2, win32compat::foldCase); }

int lstrlenW(LPCWSTR lpString) {
  if (!lpString) return 0;
  int n = 0;
  while (lpString[n]) ++n;
  return n;
}

int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return lpString1 ? 1 : lpString2 ? -1 : 0;
  try {
    std::u16string a, b;
    if (widen(lpString1, &a) && widen(lpString2, &b)) return lstrcmpiW(a.c_str(), b.c_str());
  } catch (const std::bad_alloc&) {
  }
  // Without memory to convert, the bytes are compared with ASCII folding.
  return signOf(strcasecmp(lpString1, lpString2));
}

LPSTR CharNextA(LPCSTR lpsz) {
  // None of the supported code pages has double-byte characters.
  return const_cast<LPSTR>(lpsz && *lpsz ? lpsz + 1 : lpsz);
}

BOOL IsDBCSLeadByte(BYTE TestChar) { return FALSE; }
