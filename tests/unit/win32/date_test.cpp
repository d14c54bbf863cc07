#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <string>

#include "holders.h"

namespace {

std::string ascii(BSTR s) {
  std::string out;
  for (UINT i = 0; i < SysStringLen(s); ++i) out += char(s[i]);
  return out;
}

// The text VariantChangeType gives for a date, converted in place as the
// property formatting does it.
std::string dateText(DATE value) {
  VariantHolder v;
  v.v.vt = VT_DATE;
  v.v.date = value;
  HRESULT hr = VariantChangeType(&v.v, &v.v, VARIANT_NOVALUEPROP, VT_BSTR);
  if (FAILED(hr)) return "<failed>";
  EXPECT_EQ(v.v.vt, VT_BSTR);
  return ascii(v.v.bstrVal);
}

DATE dateOf(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0) {
  SYSTEMTIME st{y, mo, 0, d, h, mi, s, 0};
  DATE value = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &value));
  return value;
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(DateText, EnglishUnitedStatesForms) {
  EXPECT_EQ(dateOf(2011, 3, 1), 40603.0);
  EXPECT_EQ(dateText(dateOf(2011, 3, 1, 14, 5, 9)), "3/1/2011 2:05:09 PM");
  EXPECT_EQ(dateText(40603.0), "3/1/2011");
  EXPECT_EQ(dateText(dateOf(2011, 12, 31, 0, 0, 1)), "12/31/2011 12:00:01 AM");
  EXPECT_EQ(dateText(dateOf(2011, 3, 1, 12, 0, 0)), "3/1/2011 12:00:00 PM");
  // Day 0: only the time, and midnight of day 0 is still a time.
  EXPECT_EQ(dateText(0.5 + 5 * kSecond), "12:00:05 PM");
  EXPECT_EQ(dateText(0.0), "12:00:00 AM");
}

TEST(DateText, DatesBeforeTheEpochCountTheTimeForward) {
  EXPECT_EQ(dateText(-1.25), "12/29/1899 6:00:00 AM");
  EXPECT_EQ(dateText(-1.0), "12/29/1899");
  EXPECT_EQ(dateText(dateOf(1800, 1, 1, 23, 59, 59)), "1/1/1800 11:59:59 PM");
  EXPECT_LT(dateOf(1800, 1, 1, 23, 59, 59), dateOf(1800, 1, 1));
}

TEST(DateText, FractionsRoundToTheNearestSecond) {
  DATE base = dateOf(2011, 3, 1, 14, 5, 9);
  EXPECT_EQ(dateText(base + 0.4 * kSecond), "3/1/2011 2:05:09 PM");
  EXPECT_EQ(dateText(base + 0.6 * kSecond), "3/1/2011 2:05:10 PM");
  // Rounding up at the end of the day reaches the next date's midnight.
  EXPECT_EQ(dateText(dateOf(2011, 3, 1, 23, 59, 59) + 0.7 * kSecond), "3/2/2011");
}

TEST(DateText, OutOfRangeFailsAndKeepsTheValue) {
  VariantHolder v;
  v.v.vt = VT_DATE;
  v.v.date = 1e10;
  EXPECT_TRUE(FAILED(VariantChangeType(&v.v, &v.v, 0, VT_BSTR)));
  EXPECT_EQ(v.v.vt, VT_DATE);
  EXPECT_EQ(v.v.date, 1e10);
}

TEST(VariantTime, RangeAndRoundTrip) {
  SYSTEMTIME st;
  ASSERT_TRUE(VariantTimeToSystemTime(40603.25, &st));
  EXPECT_EQ(st.wYear, 2011);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wDayOfWeek, 2);  // a Tuesday
  EXPECT_EQ(st.wHour, 6);
  EXPECT_EQ(st.wMilliseconds, 0);

  EXPECT_TRUE(VariantTimeToSystemTime(2958465.99, &st));
  EXPECT_EQ(st.wYear, 9999);
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  ASSERT_TRUE(VariantTimeToSystemTime(-657434.5, &st));
  EXPECT_EQ(st.wYear, 100);
  EXPECT_EQ(st.wHour, 12);
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));

  SYSTEMTIME back{1899, 12, 0, 29, 6, 0, 0, 0};
  DATE value;
  ASSERT_TRUE(SystemTimeToVariantTime(&back, &value));
  EXPECT_DOUBLE_EQ(value, -1.25);
}

TEST(VariantTime, RejectsImpossibleSystemTimes) {
  DATE value;
  SYSTEMTIME bad[] = {
      {2011, 13, 0, 1, 0, 0, 0, 0},  // month
      {1900, 2, 0, 29, 0, 0, 0, 0},  // 1900 was not a leap year
      {2011, 3, 0, 1, 24, 0, 0, 0},  // hour
      {99, 1, 0, 1, 0, 0, 0, 0},     // before year 100
  };
  for (SYSTEMTIME& st : bad) EXPECT_FALSE(SystemTimeToVariantTime(&st, &value)) << st.wYear;
  SYSTEMTIME leap{2000, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_TRUE(SystemTimeToVariantTime(&leap, &value));
}

TEST(FileTime, CountsHundredNanosecondsSince1601) {
  SYSTEMTIME st{1970, 1, 0, 1, 0, 0, 0, 1};
  DWORD ft[2];
  ASSERT_TRUE(SystemTimeToFileTime(&st, ft));
  uint64_t ticks = (uint64_t(ft[1]) << 32) | ft[0];
  EXPECT_EQ(ticks, 116444736000000000ull + 10000);
}
