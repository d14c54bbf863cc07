// Locales: every thread runs in en-US (0x0409) unless it picks another
// LCID; the code pages a locale reports are the process's ANSI code page.
#include <cstdio>

#include "ansi_code_page.h"
#include "output_sink.h"
#include "windows.h"

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;
constexpr LCTYPE kNoUserOverride = 0x80000000;
constexpr LCTYPE kUseCpAcp = 0x40000000;

thread_local LCID threadLocale = kEnglishUnitedStates;

}  // namespace

LCID GetThreadLocale(void) { return threadLocale; }

BOOL SetThreadLocale(LCID Locale) {
  if (Locale == LOCALE_USER_DEFAULT || Locale == LOCALE_SYSTEM_DEFAULT) {
    Locale = kEnglishUnitedStates;
  }
  if ((Locale & 0x3FF) == LANG_NEUTRAL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  threadLocale = Locale;
  return TRUE;
}

LCID GetUserDefaultLCID(void) { return kEnglishUnitedStates; }

int GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  if (cchData < 0 || (cchData && !lpLCData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT value;
  switch (LCType & ~(kNoUserOverride | kUseCpAcp)) {
    case LOCALE_IDEFAULTANSICODEPAGE: value = GetACP(); break;
    case LOCALE_IDEFAULTCODEPAGE: value = GetOEMCP(); break;
    default: SetLastError(ERROR_INVALID_FLAGS); return 0;
  }
  char digits[16];
  int length = std::snprintf(digits, sizeof digits, "%u", value);
  win32compat::OutputSink<char> out(lpLCData, size_t(cchData));
  for (int i = 0; i <= length; ++i) out.put(digits[i]);  // the NUL counts
  return out.finish();
}
