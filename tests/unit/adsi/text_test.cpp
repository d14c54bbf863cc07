// The directory's UTF-8 / UTF-16 conversions read ill-formed bytes as the
// platform's converter (MultiByteToWideChar, CP_UTF8) does: one U+FFFD per
// maximal subpart, so a value reads the same through either road.
#include <gtest/gtest.h>

#include <string>

#include "text.h"
#include "windows.h"

namespace {

adsi::WideString platformWide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  adsi::WideString out(size_t(n > 0 ? n : 0), WCHAR(0));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
  return out;
}

std::string platformNarrow(const adsi::WideString& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

const char* const kIllFormed[] = {
    "a\xF1\x80\x80\xE1\x80\xC2"
    "b\x80"
    "c\x80\xBF"
    "d",  // truncated, stray continuation bytes
    "\xC0\xAF\xE0\x80\xBF\xF0\x81\x82"
    "A",  // overlong forms
    "\xED\xA0\x80\xED\xBF\xBF\xED\xAF"
    "A",  // surrogates
    "\xF4\x91\x92\x93\xFF"
    "A",                         // past U+10FFFF, no lead byte
    "caf\xC3\xA9 \xF0\x9F\x98",  // well-formed, then cut short
};

TEST(DirectoryText, IllFormedUtf8ConvertsAsThePlatformConverts) {
  for (const char* input : kIllFormed) {
    const std::string utf8(input);
    const adsi::WideString expected = platformWide(utf8);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(adsi::utf8ToUtf16(utf8), expected) << testing::PrintToString(utf8);
    EXPECT_EQ(adsi::foldCase(utf8), adsi::foldCase(platformNarrow(expected))) << testing::PrintToString(utf8);
  }
  // One replacement for the three bytes of a cut-short four-byte sequence.
  EXPECT_EQ(adsi::foldCase("\xF0\x9F\x98!"), "\xEF\xBF\xBD!");
}

TEST(DirectoryText, UnpairedSurrogatesConvertAsThePlatformConverts) {
  const adsi::WideString inputs[] = {
      {WCHAR('a'), WCHAR(0xD800)},
      {WCHAR(0xDC00), WCHAR('b')},
      {WCHAR(0xDE00), WCHAR(0xD83D)},
      {WCHAR(0xD83D), WCHAR(0xDE00)},
  };
  for (const adsi::WideString& wide : inputs) EXPECT_EQ(adsi::utf16ToUtf8(wide), platformNarrow(wide));
}

}  // namespace
