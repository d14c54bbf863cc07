#include "platform/text_conversion.h"

#include <climits>
#include <cstdlib>

#include "errors/failures.h"

namespace {

enum class CodePageRule { ThreadCodePage, LocaleDefault };

// Platforms before NT 5.0 have no per-thread code page; there the thread
// locale's default ANSI code page stands in, and the system's when the locale
// does not name one.
CodePageRule chooseRule() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5)
    return CodePageRule::ThreadCodePage;
  return CodePageRule::LocaleDefault;
}

UINT localeDefaultCodePage() {
  char digits[8] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits) > 0) {
    UINT codePage = static_cast<UINT>(std::strtoul(digits, nullptr, 10));
    if (codePage != 0) return codePage;
  }
  return GetACP();
}

}  // namespace

UINT conversionCodePage() {
  static const CodePageRule rule = chooseRule();  // settled at the first conversion
  return rule == CodePageRule::ThreadCodePage ? CP_THREAD_ACP : localeDefaultCodePage();
}

size_t wideLength(const WCHAR* text) {
  size_t length = 0;
  if (text)
    while (text[length]) ++length;
  return length;
}

UniqueBstr toWide(std::string_view text) {
  if (text.empty()) return UniqueBstr::empty();
  if (text.size() > INT_MAX) throw StringLayerFailure{E_INVALIDARG};
  const UINT codePage = conversionCodePage();
  const int inLength = static_cast<int>(text.size());
  int wideCount = MultiByteToWideChar(codePage, 0, text.data(), inLength, nullptr, 0);
  if (wideCount <= 0) throw StringLayerFailure{E_INVALIDARG};
  UniqueBstr wide = UniqueBstr::copyOf(nullptr, static_cast<size_t>(wideCount));
  if (MultiByteToWideChar(codePage, 0, text.data(), inLength, wide.get(), wideCount) != wideCount)
    throw StringLayerFailure{E_INVALIDARG};
  return wide;
}

std::string toNarrow(const WCHAR* text, size_t length) {
  if (!text || length == 0) return std::string();
  if (length > INT_MAX) throw StringLayerFailure{E_INVALIDARG};
  const UINT codePage = conversionCodePage();
  const int inLength = static_cast<int>(length);
  int byteCount = WideCharToMultiByte(codePage, 0, text, inLength, nullptr, 0, nullptr, nullptr);
  if (byteCount <= 0) throw StringLayerFailure{E_INVALIDARG};
  std::string narrow(static_cast<size_t>(byteCount), '\0');
  if (WideCharToMultiByte(codePage, 0, text, inLength, &narrow[0], byteCount, nullptr, nullptr) != byteCount)
    throw StringLayerFailure{E_INVALIDARG};
  return narrow;
}

std::string toNarrow(const WCHAR* text) { return toNarrow(text, wideLength(text)); }
