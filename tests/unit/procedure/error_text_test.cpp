// Failure texts: descriptions of failure codes and the three handlers of a
// guarded operation.
#include <gtest/gtest.h>

#include <new>

#include "errors/error_text.h"
#include "errors/guarded.h"

namespace {

std::string described(HRESULT code) {
  std::string text = "before";
  DescriptionBuffer buffer;
  describeFailure(buffer, code, text);
  EXPECT_EQ(buffer.get(), nullptr);  // the system's text is released
  return text;
}

TEST(DescribeFailure, AppendsTheSystemTextWithItsOwnLineEnd) {
  EXPECT_EQ(described(E_ACCESSDENIED), "before\nError: Access is denied.\r\n");
  EXPECT_EQ(described(S_FALSE), "before\nError: Incorrect function.\r\n");
}

TEST(DescribeFailure, Facility8IsLookedUpByItsLowBits) {
  EXPECT_EQ(described(static_cast<HRESULT>(0x80080005)), "before\nError: Access is denied.\r\n");
  EXPECT_EQ(described(static_cast<HRESULT>(0x8008FFF0)), "before\n[Could not find a description for error # 0xfff0.]");
}

TEST(DescribeFailure, UnknownCodesShowTheWholeCode) {
  EXPECT_EQ(described(static_cast<HRESULT>(0x8004FFF1)),
            "before\n[Could not find a description for error # 0x8004fff1.]");
}

TEST(FormatText, ReplacesAndRefusesANullFormat) {
  std::string text = "old";
  formatText(text, "Cannot create object. HR: %X", 0x80072030u);
  EXPECT_EQ(text, "Cannot create object. HR: 80072030");
  EXPECT_THROW(formatText(text, nullptr), StringLayerFailure);
}

TEST(Guarded, FailureCodeIsDescribedAndAppended) {
  std::string text = "kept";
  EXPECT_FALSE(guarded(text, []() -> bool { throw FailureCode{E_ACCESSDENIED}; }));
  EXPECT_EQ(text, "kept\nError: Access is denied.\r\n");
}

TEST(Guarded, ErrorTextReplaces) {
  std::string text = "old\nCan not get interface. HR: 80004002";
  EXPECT_FALSE(guarded(text, []() -> bool { throw ErrorText{"Can not get IADsGroup."}; }));
  EXPECT_EQ(text, "Can not get IADsGroup.");
}

TEST(Guarded, AnythingElseReplacesWithTheLastError) {
  std::string text = "old\nCan not get interface. HR: 80004002";
  SetLastError(0);
  EXPECT_FALSE(guarded(text, []() -> bool { throw std::bad_alloc(); }));
  EXPECT_EQ(text, "Unexpected error.");

  EXPECT_FALSE(guarded(text, []() -> bool {
    SetLastError(5);
    throw IndexFault();
  }));
  EXPECT_EQ(text, "Last error: 5");
  SetLastError(0);
}

TEST(Guarded, StringLayerFailuresAreNeverDescribed) {
  std::string text;
  SetLastError(0);
  EXPECT_FALSE(guarded(text, []() -> bool { throw StringLayerFailure{E_OUTOFMEMORY}; }));
  EXPECT_EQ(text, "Unexpected error.");
}

TEST(Guarded, SuccessKeepsTheTextAndTheResult) {
  std::string text = "t";
  EXPECT_TRUE(guarded(text, [] { return true; }));
  EXPECT_FALSE(guarded(text, [] { return false; }));
  EXPECT_EQ(text, "t");
}

}  // namespace
