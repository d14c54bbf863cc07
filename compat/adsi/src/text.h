// UTF-8 / UTF-16 conversion and the string preparation LDAP matching uses.
#pragma once

#include <string>
#include <string_view>

#include "ascii_text.h"
#include "windows.h"

namespace adsi {

// UTF-16 text in the platform's WCHAR: char16_t on Linux, wchar_t on Windows.
using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

// Each maximal subpart of an ill-formed UTF-8 sequence, and each unpaired
// surrogate, becomes one U+FFFD, as the platform's converter does.
WideString utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(WideStringView utf16);
inline std::string utf16ToUtf8(const WCHAR* s) { return s ? utf16ToUtf8(WideStringView(s)) : std::string(); }

// Unicode simple case folding (CaseFolding.txt, status C and S); ill-formed
// UTF-8 becomes U+FFFD as above.
std::string foldCase(std::string_view utf8);

// Insignificant-space handling of RFC 4518: no leading or trailing spaces,
// inner runs of spaces count as one.
std::string collapseSpaces(std::string_view utf8);

// Keys under which two values compare equal for caseIgnoreMatch and
// caseExactMatch.
inline std::string caseIgnoreKey(std::string_view v) { return collapseSpaces(foldCase(v)); }
inline std::string caseExactKey(std::string_view v) { return collapseSpaces(v); }

// A BSTR copy of UTF-8 text; null when out of memory.
BSTR allocBstr(std::string_view utf8);

}  // namespace adsi
