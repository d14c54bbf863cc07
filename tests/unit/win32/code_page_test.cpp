#include <gtest/gtest.h>
#include <win32_compat.h>

#include <string>

namespace {

// Converts with the two-call protocol, as callers do.
std::u16string widen(UINT cp, const std::string& bytes, DWORD flags = 0) {
  int needed = MultiByteToWideChar(cp, flags, bytes.data(), int(bytes.size()), nullptr, 0);
  if (needed == 0) return u"<fail>";
  std::u16string out(size_t(needed), u'\0');
  EXPECT_EQ(MultiByteToWideChar(cp, flags, bytes.data(), int(bytes.size()), &out[0], needed), needed);
  return out;
}

std::string narrow(UINT cp, const std::u16string& text, DWORD flags = 0) {
  int needed = WideCharToMultiByte(cp, flags, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (needed == 0) return "<fail>";
  std::string out(size_t(needed), '\0');
  EXPECT_EQ(WideCharToMultiByte(cp, flags, text.data(), int(text.size()), &out[0], needed, nullptr, nullptr), needed);
  return out;
}

class CodePage : public ::testing::Test {
 protected:
  void TearDown() override { Win32CompatSetAnsiCodePage(0); }
};

}  // namespace

TEST_F(CodePage, Utf8RoundTripsFourByteCharacters) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const std::u16string utf16 = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(widen(CP_UTF8, utf8), utf16);
  EXPECT_EQ(narrow(CP_UTF8, utf16), utf8);
  EXPECT_EQ(widen(CP_UTF8, utf8).size(), 5u);  // the emoji is a surrogate pair
}

TEST_F(CodePage, InvalidUtf8BecomesReplacementOrFails) {
  // A stray continuation byte, a truncated sequence, an overlong form and an
  // encoded surrogate: each maximal bad subsequence gives one U+FFFD.
  EXPECT_EQ(widen(CP_UTF8,
                  "a\x80"
                  "b"),
            u"a\uFFFDb");
  EXPECT_EQ(widen(CP_UTF8, "a\xE2\x82"), u"a\uFFFD");
  EXPECT_EQ(widen(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(widen(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(widen(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");

  SetLastError(0);
  WCHAR out[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, out, 8), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok", 2, out, 8), 2);
}

TEST_F(CodePage, UnpairedSurrogatesEncodeAsReplacement) {
  EXPECT_EQ(narrow(CP_UTF8,
                   u"a\xD800"
                   "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(narrow(CP_UTF8, std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  SetLastError(0);
  const WCHAR lone[] = {0xD800, 0};
  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(CodePage, Windows1252HighBytesBothWays) {
  std::string high;
  for (int b = 0x80; b <= 0x9F; ++b) high += char(b);
  const std::u16string expected =
      u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D"
      u"\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A"
      u"\u0153\u009D\u017E\u0178";
  EXPECT_EQ(widen(1252, high), expected);
  EXPECT_EQ(narrow(1252, expected), high);
  EXPECT_EQ(widen(1252, "\xE9\xFF"), u"\u00E9\u00FF");
  EXPECT_EQ(narrow(1252, u"\u00E9\u00FF"), "\xE9\xFF");
}

TEST_F(CodePage, Latin1AndAsciiTables) {
  EXPECT_EQ(widen(28591, "\x80\xE9"), u"\u0080\u00E9");
  EXPECT_EQ(narrow(28591, u"\u0080\u20AC"), "\x80?");
  // US-ASCII writes a similar character where it has none (best fit, as
  // Wine's table does), and the default one when best fit is refused.
  EXPECT_EQ(narrow(20127, u"a\u00E9"), "ae");
  char out[4] = {};
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(20127, WC_NO_BEST_FIT_CHARS, u"a\u00E9", 2, out, 4, nullptr, &used), 2);
  EXPECT_EQ(std::string(out, 2), "a?");
  EXPECT_TRUE(used);
}

TEST_F(CodePage, BestFitOf1252) {
  // Characters 1252 lacks become a similar one without counting as the
  // default; what has no similar one stays the default.
  char out[8] = {};
  BOOL used = TRUE;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u0141\u0107\u03A9", 3, out, 8, nullptr, &used), 3);
  EXPECT_EQ(std::string(out, 3), "LcO");
  EXPECT_FALSE(used);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, u"\u0141", 1, out, 8, nullptr, &used), 1);
  EXPECT_EQ(std::string(out, 1), "?");
  EXPECT_TRUE(used);
}

TEST_F(CodePage, UnmappableCharactersUseTheDefaultChar) {
  const WCHAR text[] = u"a\u4E2Db";
  char out[8] = {};
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, 3, out, 8, nullptr, &used), 3);
  EXPECT_EQ(std::string(out, 3), "a?b");
  EXPECT_TRUE(used);

  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, 3, out, 8, "#", &used), 3);
  EXPECT_EQ(std::string(out, 3), "a#b");

  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"ab", 2, out, 8, nullptr, &used), 2);
  EXPECT_FALSE(used);

  // UTF-8 has no default character: asking for one is an error.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"ab", 2, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(CodePage, BufferSizeProtocol) {
  // -1 converts through the terminator and counts it.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00E9", -1, nullptr, 0, nullptr, nullptr), 4);

  WCHAR small[2];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  WCHAR exact[4];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, exact, 4), 4);
  EXPECT_EQ(std::u16string(exact), u"abc");

  char tight[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, tight, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, tight, 3, nullptr, nullptr), 3);
}

TEST_F(CodePage, BadArgumentsAndUnknownCodePages) {
  WCHAR out[4];
  struct Case {
    UINT cp;
    LPCSTR src;
    int srcLen;
    LPWSTR dst;
    int dstLen;
  } cases[] = {
      {CP_UTF8, nullptr, 1, out, 4},  // no source
      {CP_UTF8, "a", 0, out, 4},      // empty source
      {CP_UTF8, "a", 1, nullptr, 4},  // a size without a buffer
      {CP_UTF8, "a", 1, out, -1},     // negative size
      {437, "a", 1, out, 4},          // a code page this stand-in lacks
      {CP_MACCP, "a", 1, out, 4},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.cp, 0, c.src, c.srcLen, c.dst, c.dstLen), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(12000, 0, u"a", 1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x100, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
  // Accepted and without effect here.
  EXPECT_EQ(narrow(1252, u"\u0100", WC_NO_BEST_FIT_CHARS), "?");
}

TEST_F(CodePage, AnsiCodePageFollowsTheOverride) {
  ASSERT_TRUE(Win32CompatSetAnsiCodePage(1252));
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(widen(CP_ACP, "\x80"), u"\u20AC");
  EXPECT_EQ(widen(CP_THREAD_ACP, "\x80"), u"\u20AC");
  char digits[8];
  EXPECT_EQ(GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, 8), 5);
  EXPECT_STREQ(digits, "1252");

  ASSERT_TRUE(Win32CompatSetAnsiCodePage(CP_UTF8));
  EXPECT_EQ(widen(CP_ACP, "\xE2\x82\xAC"), u"\u20AC");
  EXPECT_EQ(GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0), 6);

  EXPECT_FALSE(Win32CompatSetAnsiCodePage(932));
  EXPECT_EQ(GetACP(), UINT(CP_UTF8));
}
