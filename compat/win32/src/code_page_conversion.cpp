// MultiByteToWideChar and WideCharToMultiByte over the code pages of
// codecs.h, with kernel32's argument checks, flags and buffer protocol.
#include <cstring>

#include "ansi_code_page.h"
#include "codecs.h"
#include "output_sink.h"
#include "windows.h"

using win32compat::OutputSink;

namespace {

constexpr DWORD kMbComposite = 0x2;
constexpr DWORD kMbUseGlyphChars = 0x4;
constexpr DWORD kMbKnownFlags = MB_PRECOMPOSED | kMbComposite | kMbUseGlyphChars | MB_ERR_INVALID_CHARS;
// WC_DISCARDNS, WC_SEPCHARS, WC_DEFAULTCHAR, WC_COMPOSITECHECK: accepted;
// there is nothing to compose in these code pages.
constexpr DWORD kWcKnownFlags = 0x10 | 0x20 | 0x40 | 0x200 | WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS;

int fail(DWORD error) {
  SetLastError(error);
  return 0;
}

size_t wideLength(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (!lpWideCharStr && cchWideChar)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  UINT codePage = win32compat::resolveCodePage(CodePage);
  if (!codePage) return fail(ERROR_INVALID_PARAMETER);
  if ((dwFlags & ~kMbKnownFlags) || (dwFlags & (MB_PRECOMPOSED | kMbComposite)) == (MB_PRECOMPOSED | kMbComposite)) {
    return fail(ERROR_INVALID_FLAGS);
  }
  // -1: NUL-terminated, and the terminator is converted too.
  size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
  const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);

  OutputSink<WCHAR> out(lpWideCharStr, size_t(cchWideChar));
  if (codePage == CP_UTF8) {
    if (!win32compat::decodeUtf8(bytes, length, dwFlags & MB_ERR_INVALID_CHARS, out)) {
      return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
  } else {
    for (size_t i = 0; i < length; ++i) {
      // Strict conversion refuses a byte the table turns into its default
      // character, '?', without being '?' itself (US-ASCII's 0xBF), as
      // Wine's tables do.
      WCHAR unit = win32compat::singleByteToUnicode(codePage, bytes[i]);
      if ((dwFlags & MB_ERR_INVALID_CHARS) && unit == u'?' && bytes[i] != '?')
        return fail(ERROR_NO_UNICODE_TRANSLATION);
      out.put(unit);
    }
  }
  return out.finish();
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (!lpMultiByteStr && cbMultiByte)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  UINT codePage = win32compat::resolveCodePage(CodePage);
  if (!codePage) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags & ~kWcKnownFlags) return fail(ERROR_INVALID_FLAGS);
  size_t length = cchWideChar < 0 ? wideLength(lpWideCharStr) + 1 : size_t(cchWideChar);
  OutputSink<char> out(lpMultiByteStr, size_t(cbMultiByte));

  if (codePage == CP_UTF8) {
    // UTF-8 has a byte for everything: a default character makes no sense.
    if (lpDefaultChar || lpUsedDefaultChar) return fail(ERROR_INVALID_PARAMETER);
    if (!win32compat::encodeUtf8(lpWideCharStr, length, dwFlags & WC_ERR_INVALID_CHARS, out)) {
      return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    return out.finish();
  }

  if (dwFlags & WC_ERR_INVALID_CHARS) return fail(ERROR_INVALID_FLAGS);
  char fallback = lpDefaultChar ? lpDefaultChar[0] : '?';
  BOOL usedDefault = FALSE;
  for (size_t i = 0; i < length; ++i) {
    int byte = win32compat::unicodeToSingleByte(codePage, lpWideCharStr[i]);
    if (byte < 0 && !(dwFlags & WC_NO_BEST_FIT_CHARS))
      byte = win32compat::bestFitSingleByte(codePage, lpWideCharStr[i]);
    if (byte < 0) usedDefault = TRUE;
    out.put(byte < 0 ? fallback : static_cast<char>(byte));
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault;
  return out.finish();
}
