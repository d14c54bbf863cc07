// The one case fold, checked against the Unicode Character Database itself:
// every code point folds as CaseFolding.txt's C and S lines say (or to itself)
// in the directory's matching keys and in lstrcmpiW.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "text.h"
#include "windows.h"

namespace {

std::map<char32_t, char32_t> simpleFoldsFromData() {
  std::ifstream data(QUARLIX_CASE_FOLDING);
  std::map<char32_t, char32_t> folds;
  std::string line;
  while (std::getline(data, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::string code, status, mapping;
    if (!std::getline(fields, code, ';') || !std::getline(fields, status, ';') || !std::getline(fields, mapping, ';'))
      continue;
    if (status.find('C') == std::string::npos && status.find('S') == std::string::npos) continue;
    folds[char32_t(std::stoul(code, nullptr, 16))] = char32_t(std::stoul(mapping, nullptr, 16));
  }
  return folds;
}

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

std::string utf8Of(char32_t c) {
  WCHAR units[3] = {};
  if (c >= 0x10000) {
    units[0] = WCHAR(0xD800 + ((c - 0x10000) >> 10));
    units[1] = WCHAR(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    units[0] = WCHAR(c);
  }
  return adsi::utf16ToUtf8(units);
}

int sign(long v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

class CaseFoldData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { folds_ = new std::map<char32_t, char32_t>(simpleFoldsFromData()); }
  static void TearDownTestSuite() { delete folds_; }
  static char32_t expected(char32_t c) {
    auto found = folds_->find(c);
    return found == folds_->end() ? c : found->second;
  }
  static std::map<char32_t, char32_t>* folds_;
};
std::map<char32_t, char32_t>* CaseFoldData::folds_ = nullptr;

TEST_F(CaseFoldData, DataIsReadAndItsFoldsAreFinal) {
  // Over a thousand mappings, among them the letters the old tables got wrong.
  ASSERT_GT(folds_->size(), 1000u);
  EXPECT_EQ(expected(0x0178), 0x00FFu);
  EXPECT_EQ(expected(0x0386), 0x03ACu);
  for (const auto& [from, to] : *folds_) EXPECT_EQ(expected(to), to) << std::hex << from;
}

TEST_F(CaseFoldData, EveryCodePointFoldsInMatchingKeysAsTheDataSays) {
  int wrong = 0;
  for (char32_t c = 1; c <= 0x10FFFF; ++c) {
    if (isSurrogate(c)) continue;
    std::string got = adsi::foldCase(utf8Of(c));
    if (got != utf8Of(expected(c)) && ++wrong <= 10) ADD_FAILURE() << "U+" << std::hex << uint32_t(c) << " folds wrong";
  }
  EXPECT_EQ(wrong, 0);
  // Inside a value, next to ASCII and to other letters.
  EXPECT_EQ(adsi::caseIgnoreKey("\xC5\xB8VONNE  \xCE\x86\xCE\xBB\xCE\xA6\xCE\x91"),
            "\xC3\xBFvonne \xCE\xAC\xCE\xBB\xCF\x86\xCE\xB1");  // ÿvonne άλφα
}

TEST_F(CaseFoldData, LstrcmpiWComparesTheFoldsOfTheBmp) {
  int wrong = 0;
  for (char32_t c = 1; c < 0xFFFF; ++c) {
    if (isSurrogate(c) || isSurrogate(c + 1)) continue;
    WCHAR a[] = {WCHAR(c), 0}, folded[] = {WCHAR(expected(c)), 0}, next[] = {WCHAR(c + 1), 0};
    // Equal to its own fold; ordered against its neighbour as the folds are.
    bool right = lstrcmpiW(a, folded) == 0 && lstrcmpiW(a, next) == sign(long(expected(c)) - long(expected(c + 1)));
    if (!right && ++wrong <= 10) ADD_FAILURE() << "U+" << std::hex << uint32_t(c) << " compares wrong";
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
