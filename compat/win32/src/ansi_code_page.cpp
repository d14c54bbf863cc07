// The ANSI code page, read once from the process locale: what setlocale has
// chosen for LC_CTYPE, or, while the program still runs in the "C" locale,
// what the environment asks for. UTF-8 wherever the locale names nothing
// this library can convert.
#include "ansi_code_page.h"

#include <langinfo.h>

#include <atomic>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codecs.h"
#include "win32_compat.h"

namespace win32compat {

namespace {

std::atomic<UINT> overrideCodePage{0};

// Compares code set names the way they vary in practice: "UTF-8", "utf8",
// "ISO_8859-1", "iso88591", "CP1252", "windows-1252".
std::string normalised(const char* name) {
  std::string key;
  for (const char* p = name; *p; ++p) {
    if (*p == '-' || *p == '_') continue;
    key += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  }
  return key;
}

UINT codePageOfCodeSet(const char* codeSet) {
  std::string key = normalised(codeSet);
  if (key == "iso88591" || key == "latin1" || key == "l1") return 28591;
  if (key == "cp1252" || key == "windows1252") return 1252;
  return CP_UTF8;
}

bool isPlainC(const char* name) {
  return !name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

// The code set of a locale name from the environment: the one glibc knows
// for it when that locale is installed, else what the name spells out after
// its '.'.
UINT codePageOfLocaleName(const char* name) {
  if (locale_t loc = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0))) {
    UINT codePage = codePageOfCodeSet(nl_langinfo_l(CODESET, loc));
    freelocale(loc);
    return codePage;
  }
  std::string codeSet(name);
  size_t dot = codeSet.find('.');
  if (dot == std::string::npos) return CP_UTF8;
  codeSet = codeSet.substr(dot + 1);
  codeSet = codeSet.substr(0, codeSet.find('@'));
  return codePageOfCodeSet(codeSet.c_str());
}

UINT codePageOfProcessLocale() {
  if (!isPlainC(std::setlocale(LC_CTYPE, nullptr))) {
    return codePageOfCodeSet(nl_langinfo(CODESET));
  }
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return isPlainC(value) ? CP_UTF8 : codePageOfLocaleName(value);
  }
  return CP_UTF8;
}

UINT localeCodePage() {
  static const UINT codePage = codePageOfProcessLocale();
  return codePage;
}

}  // namespace

UINT ansiCodePage() {
  UINT chosen = overrideCodePage.load(std::memory_order_acquire);
  return chosen ? chosen : localeCodePage();
}

UINT resolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case CP_OEMCP:  // no OEM code page of its own here: the ANSI one serves
      return ansiCodePage();
    case CP_UTF8: return CP_UTF8;
    default: return isSingleByte(codePage) ? codePage : 0;
  }
}

}  // namespace win32compat

BOOL Win32CompatSetAnsiCodePage(UINT codePage) {
  if (codePage != 0 && codePage != CP_UTF8 && !win32compat::isSingleByte(codePage)) return FALSE;
  win32compat::overrideCodePage.store(codePage, std::memory_order_release);
  return TRUE;
}

UINT GetACP(void) { return win32compat::ansiCodePage(); }

UINT GetOEMCP(void) { return win32compat::ansiCodePage(); }
