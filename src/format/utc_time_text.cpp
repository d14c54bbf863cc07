#include "format/utc_time_text.h"

#include <cstdint>
#include <ctime>

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 3000-12-31 23:59:59 UTC, the last instant the 64-bit calendar conversion
// accepts.
constexpr int64_t kLastInstant = 32535215999;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = floorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = floorDiv(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

// The fields read as UTC; out-of-range fields carry over as the C library's
// calendar conversion does (month 13 is January of the next year).
int64_t instantOf(const SYSTEMTIME& time) {
  const int64_t months = static_cast<int64_t>(time.wYear) * 12 + time.wMonth - 1;
  const int64_t days = daysFromCivil(floorDiv(months, 12), months - floorDiv(months, 12) * 12 + 1, 1) +
                       static_cast<int64_t>(time.wDay) - 1;
  return days * kSecondsPerDay + static_cast<int64_t>(time.wHour) * 3600 + static_cast<int64_t>(time.wMinute) * 60 +
         time.wSecond;
}

}  // namespace

std::string utcTimeText(const SYSTEMTIME& time) {
  int64_t instant = 0;
  if (time.wYear >= 1900) {
    instant = instantOf(time);
    if (instant < 0 || instant > kLastInstant) throw TimeOutOfRange{};
  }
  std::tm broken{};
  const int64_t days = floorDiv(instant, kSecondsPerDay);
  const int64_t secondOfDay = instant - days * kSecondsPerDay;
  civilFromDays(days, broken.tm_year, broken.tm_mon, broken.tm_mday);
  broken.tm_year -= 1900;
  broken.tm_mon -= 1;
  broken.tm_hour = static_cast<int>(secondOfDay / 3600);
  broken.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  broken.tm_sec = static_cast<int>(secondOfDay % 60);

  char text[128];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &broken);
  return std::string(text, length);
}
