// The range option of an attribute description as Active Directory writes it
// in ranged answers ("member;range=0-1499", "member;range=1500-*").
#include <gtest/gtest.h>

#include "ldap/value_range.h"

namespace {

using adsi::parseValueRange;
using adsi::RangeOption;
using adsi::ValueRange;

TEST(ValueRange, RangesAndTheAttributeTheyCut) {
  ValueRange r;
  ASSERT_EQ(parseValueRange("member;range=0-1499", r), RangeOption::Valid);
  EXPECT_EQ(r.name, "member");
  EXPECT_EQ(r.low, 0u);
  EXPECT_EQ(r.high, 1499u);
  EXPECT_FALSE(r.last);
  ASSERT_EQ(parseValueRange("Member;Range=1500-*", r), RangeOption::Valid);
  EXPECT_EQ(r.name, "Member");
  EXPECT_EQ(r.low, 1500u);
  EXPECT_TRUE(r.last);
  // Other options stay with the name, before or after the range.
  ASSERT_EQ(parseValueRange("userCertificate;binary;range=3-3", r), RangeOption::Valid);
  EXPECT_EQ(r.name, "userCertificate;binary");
  EXPECT_EQ(r.low, 3u);
  EXPECT_EQ(r.high, 3u);
  ASSERT_EQ(parseValueRange("member;range=10-*;x-tag", r), RangeOption::Valid);
  EXPECT_EQ(r.name, "member;x-tag");
}

TEST(ValueRange, NoRangeAndRangesThatDoNotParse) {
  ValueRange r;
  for (const char* none : {"member", "userCertificate;binary", "cn;lang-de", "member;ranges=0-1"})
    EXPECT_EQ(parseValueRange(none, r), RangeOption::None) << none;
  for (const char* bad :
       {"member;range=", "member;range=5", "member;range=-*", "member;range=a-*", "member;range=5-3",
        "member;range=0-x", "member;range=0-", "member;range=1-2-3", "member;range=99999999999999999999-*"})
    EXPECT_EQ(parseValueRange(bad, r), RangeOption::Malformed) << bad;
}

}  // namespace
