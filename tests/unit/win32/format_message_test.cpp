#include <gtest/gtest.h>
#include <win32_compat.h>

#include <string>

namespace {

constexpr DWORD kSystemAllocate = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// The call error descriptions make: allocated buffer, no inserts.
std::string describe(DWORD code, DWORD flags = kSystemAllocate, DWORD language = kNeutral) {
  LPSTR text = nullptr;
  DWORD length = FormatMessageA(flags, nullptr, code, language, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length == 0) {
    EXPECT_EQ(text, nullptr);
    return "<none>";
  }
  std::string result(text, length);
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}

}  // namespace

TEST(FormatMessage, SystemTextsAreWindowsOwnWithTheirLineEnd) {
  EXPECT_EQ(describe(1), "Incorrect function.\r\n");
  EXPECT_EQ(describe(5), "Access is denied.\r\n");
  EXPECT_EQ(describe(87), "The parameter is incorrect.\r\n");
  EXPECT_EQ(describe(1326), "The user name or password is incorrect.\r\n");
  EXPECT_EQ(describe(8240), "There is no such object on the server.\r\n");
  EXPECT_EQ(describe(8250), "The server is not operational.\r\n");
  EXPECT_EQ(describe(0x80004005), "Unspecified error\r\n");
  EXPECT_EQ(describe(0x80020005), "Type mismatch.\r\n");
  EXPECT_EQ(describe(0x80010106), "Cannot change thread mode after it is set.\r\n");
  EXPECT_EQ(describe(0x80005000), "An invalid directory pathname was passed\r\n");
  EXPECT_EQ(describe(0x00005012), "No more rows to be obtained by the search result.\r\n");
}

TEST(FormatMessage, EveryLdapMappedDirectoryCodeHasText) {
  for (DWORD code = 8224; code <= 8260; ++code) {
    std::string text = describe(code);
    EXPECT_NE(text, "<none>") << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
  }
}

TEST(FormatMessage, Win32HResultsAreLookedUpByTheirCode) {
  EXPECT_EQ(describe(0x80070005), "Access is denied.\r\n");
  EXPECT_EQ(describe(0x8007000E), describe(14));
  EXPECT_EQ(describe(0x80072030), describe(8240));
  // Other facilities are taken whole: 0x80080005 is not code 5.
  EXPECT_EQ(describe(0x80080005), "<none>");
}

TEST(FormatMessage, UnknownCodeAndLanguageFail) {
  SetLastError(0);
  EXPECT_EQ(describe(0x12345678), "<none>");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MR_MID_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(describe(5, kSystemAllocate, 0x0407), "<none>");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(describe(5, kSystemAllocate, 0), "Access is denied.\r\n");
}

TEST(FormatMessage, InsertsNeedArgumentsOrIgnoreInserts) {
  EXPECT_EQ(describe(317, kSystemAllocate | FORMAT_MESSAGE_IGNORE_INSERTS),
            "The system cannot find message text for message number 0x%1 in the message file "
            "for %2.\r\n");
  SetLastError(0);
  EXPECT_EQ(describe(317), "<none>");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // Both inserts are strings (the default format).
  ULONG_PTR args[] = {reinterpret_cast<ULONG_PTR>("1234"), reinterpret_cast<ULONG_PTR>("System")};
  char text[200];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 317, 0, text,
                                sizeof text, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(text, length),
            "The system cannot find message text for message number 0x1234 in the message file "
            "for System.\r\n");
}

TEST(FormatMessage, FromStringWithFormatsAndEscapes) {
  ASSERT_TRUE(Win32CompatSetAnsiCodePage(CP_UTF8));
  ULONG_PTR args[] = {255, reinterpret_cast<ULONG_PTR>(u"w\u00E9")};
  char text[64];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1!04X! %2!S!%%%n%0tail",
                                0, 0, text, sizeof text, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(text, length), "00FF w\xC3\xA9%\r\n");
  Win32CompatSetAnsiCodePage(0);
}

namespace {
std::string formatList(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  char text[128];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, pattern, 0, 0, text, sizeof text, &args);
  va_end(args);
  return std::string(text, length);
}
}  // namespace

TEST(FormatMessage, VaListInsertsAreReadInOrderOnce) {
  EXPECT_EQ(formatList("%2 after %1!d!, %1!u! again", 42, "second"), "second after 42, 42 again");
}

TEST(FormatMessage, CallerBufferMustHoldTheTerminator) {
  char text[20];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, text, 19, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, text, 20, nullptr), 19u);
  EXPECT_STREQ(text, "Access is denied.\r\n");
}
