#include <gtest/gtest.h>
#include <win32_compat.h>

#include <thread>

TEST(LastError, IsKeptPerThread) {
  SetLastError(5);
  DWORD seenByOther = 1;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(87);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

TEST(Strings, CaseInsensitiveCompareFoldsBeyondAscii) {
  EXPECT_EQ(lstrcmpiW(u"\u00C9COLE", u"\u00E9cole"), 0);                    // Latin-1
  EXPECT_EQ(lstrcmpiW(u"\u0141\u00D3D\u0179", u"\u0142\u00F3d\u017A"), 0);  // Latin Extended-A
  EXPECT_EQ(lstrcmpiW(u"\u03A3\u039F\u03A6\u0399\u0391", u"\u03C3\u03BF\u03C6\u03B9\u03B1"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u041C\u041E\u0421\u041A\u0412\u0410", u"\u043C\u043E\u0441\u043A\u0432\u0430"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u0401\u0416", u"\u0451\u0436"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u0178", u"\u00FF"), 0);
  EXPECT_EQ(lstrcmpiW(u"abc", u"ABD"), -1);
  EXPECT_EQ(lstrcmpiW(u"abd", u"ABC"), 1);
  EXPECT_EQ(lstrcmpiW(u"ab", u"ABC"), -1);
  EXPECT_EQ(lstrcmpiW(nullptr, u"a"), -1);
  EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);

  EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
  EXPECT_NE(lstrcmpW(u"abc", u"ABC"), 0);
  EXPECT_EQ(lstrlenW(u"\u00E9t\u00E9"), 3);
  EXPECT_EQ(lstrlenW(nullptr), 0);
}

TEST(Strings, AnsiHelpers) {
  Win32CompatSetAnsiCodePage(1252);
  EXPECT_EQ(lstrcmpiA("\xC9t\xC9", "\xE9T\xE9"), 0);
  Win32CompatSetAnsiCodePage(0);
  const char text[] = "ab";
  EXPECT_EQ(CharNextA(text), text + 1);
  EXPECT_EQ(CharNextA(text + 2), text + 2);
  EXPECT_FALSE(IsDBCSLeadByte(0xE9));
}

TEST(Locale, VersionAndLocaleAnswers) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwBuildNumber, 19045u);
  info.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionExA(&info));

  EXPECT_EQ(GetThreadLocale(), 0x0409u);
  char digits[2];
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, digits, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, 0x5A, digits, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
}

TEST(LocalHeap, AllocatesZeroedBlocksAndFreesNull) {
  auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_EQ(LocalFree(block), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}
