#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "holders.h"

TEST(Bstr, LengthsCountEmbeddedNulsAndLayoutMatchesWindows) {
  const OLECHAR text[] = u"ab\0cd";
  BstrHolder s(SysAllocStringLen(text, 5));
  ASSERT_NE(s.p, nullptr);
  EXPECT_EQ(SysStringLen(s.p), 5u);
  EXPECT_EQ(SysStringByteLen(s.p), 10u);
  EXPECT_EQ(s.text(), std::u16string(text, 5));
  EXPECT_EQ(s.p[5], u'\0');
  DWORD prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(s.p) - 4, 4);
  EXPECT_EQ(prefix, 10u);

  // SysAllocString stops at the first NUL.
  BstrHolder cut(SysAllocString(text));
  EXPECT_EQ(SysStringLen(cut.p), 2u);
}

TEST(Bstr, NullArgumentsFollowWindows) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  // A null source gives storage of the asked length, terminated.
  BstrHolder blank(SysAllocStringLen(nullptr, 3));
  ASSERT_NE(blank.p, nullptr);
  EXPECT_EQ(SysStringLen(blank.p), 3u);
  EXPECT_EQ(blank.p[3], u'\0');

  BstrHolder empty(SysAllocStringLen(nullptr, 0));
  ASSERT_NE(empty.p, nullptr);
  EXPECT_EQ(SysStringLen(empty.p), 0u);
}

TEST(Bstr, ByteLengthStringsKeepOddLengths) {
  BstrHolder s(SysAllocStringByteLen("abc", 3));
  ASSERT_NE(s.p, nullptr);
  EXPECT_EQ(SysStringByteLen(s.p), 3u);
  EXPECT_EQ(SysStringLen(s.p), 1u);
  const char* bytes = reinterpret_cast<const char*>(s.p);
  EXPECT_EQ(std::string(bytes, 3), "abc");
  EXPECT_EQ(bytes[3], '\0');
  EXPECT_EQ(bytes[4], '\0');

  BstrHolder blank(SysAllocStringByteLen(nullptr, 5));
  ASSERT_NE(blank.p, nullptr);
  EXPECT_EQ(SysStringByteLen(blank.p), 5u);
}

TEST(Bstr, ReAllocFromItsOwnTail) {
  BstrHolder s(SysAllocString(u"hello world"));
  ASSERT_TRUE(SysReAllocString(&s.p, s.p + 6));
  EXPECT_EQ(s.text(), u"world");
  ASSERT_TRUE(SysReAllocString(&s.p, nullptr));
  ASSERT_NE(s.p, nullptr);
  EXPECT_EQ(SysStringLen(s.p), 0u);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST(Bstr, VarBstrCatTreatsNullAsEmpty) {
  BstrHolder left(SysAllocString(u"ab"));
  BstrHolder right(SysAllocStringLen(u"c\0d", 3));
  BstrHolder both, onlyLeft, onlyRight, neither;
  ASSERT_EQ(VarBstrCat(left.p, right.p, &both.p), S_OK);
  EXPECT_EQ(both.text(), std::u16string(u"abc\0d", 5));
  ASSERT_EQ(VarBstrCat(left.p, nullptr, &onlyLeft.p), S_OK);
  EXPECT_EQ(onlyLeft.text(), u"ab");
  ASSERT_EQ(VarBstrCat(nullptr, right.p, &onlyRight.p), S_OK);
  EXPECT_EQ(SysStringLen(onlyRight.p), 3u);
  ASSERT_EQ(VarBstrCat(nullptr, nullptr, &neither.p), S_OK);
  ASSERT_NE(neither.p, nullptr);
  EXPECT_EQ(SysStringLen(neither.p), 0u);
  EXPECT_EQ(VarBstrCat(left.p, right.p, nullptr), E_INVALIDARG);
}

TEST(Bstr, VarBstrCatJoinsOddByteLengths) {
  BstrHolder left(SysAllocStringByteLen("a", 1));
  BstrHolder right(SysAllocStringByteLen("bc", 2));
  BstrHolder joined;
  ASSERT_EQ(VarBstrCat(left.p, right.p, &joined.p), S_OK);
  EXPECT_EQ(SysStringByteLen(joined.p), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(joined.p), 3), "abc");
}
