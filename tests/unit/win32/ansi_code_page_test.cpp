// The ANSI code page is read from the locale once per process, so each case
// runs in a fresh child process ("threadsafe" death tests re-execute the
// test binary).
#include <gtest/gtest.h>
#include <windows.h>

#include <clocale>
#include <cstdlib>

namespace {

// Exits with the code page the process settles on when its environment names
// `lang` (and nothing overrides it).
void exitWithCodePageFor(const char* lang) {
  setenv("LC_ALL", "", 1);
  setenv("LC_CTYPE", "", 1);
  setenv("LANG", lang, 1);
  switch (GetACP()) {
    case 65001: std::exit(1);
    case 28591: std::exit(2);
    case 1252: std::exit(3);
    default: std::exit(4);
  }
}

class AnsiCodePageDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

TEST_F(AnsiCodePageDeathTest, ComesFromTheEnvironmentWhileTheProgramIsInTheCLocale) {
  EXPECT_EXIT(exitWithCodePageFor("de_DE.UTF-8"), ::testing::ExitedWithCode(1), "");
  EXPECT_EXIT(exitWithCodePageFor("en_US.ISO-8859-1"), ::testing::ExitedWithCode(2), "");
  EXPECT_EXIT(exitWithCodePageFor("en_US.CP1252"), ::testing::ExitedWithCode(3), "");
  // Names that say nothing this library can convert fall back to UTF-8.
  EXPECT_EXIT(exitWithCodePageFor("C"), ::testing::ExitedWithCode(1), "");
  EXPECT_EXIT(exitWithCodePageFor("ja_JP.eucJP"), ::testing::ExitedWithCode(1), "");
}

TEST_F(AnsiCodePageDeathTest, ALocaleTheProgramChoseWinsOverTheEnvironment) {
  EXPECT_EXIT(
      {
        setenv("LC_ALL", "en_US.ISO-8859-1", 1);
        std::setlocale(LC_CTYPE, "C.UTF-8");
        std::exit(GetACP() == 65001 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
