#include "calendar.h"

namespace win32compat {

namespace {
// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kOleEpochFromUnix = -25569;

unsigned daysInMonth(int year, unsigned month) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}
}  // namespace

// The era-based algorithms of H. Hinnant's "chrono-compatible low-level date
// algorithms", shifted to the OLE epoch.
int64_t daysFromCivil(const CivilDate& date) {
  int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (date.month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + date.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 - kOleEpochFromUnix;
}

CivilDate civilFromDays(int64_t days) {
  int64_t z = days + kOleEpochFromUnix + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return CivilDate{year, month, day};
}

unsigned weekdayOf(int64_t days) {
  // Day 0 (1899-12-30) was a Saturday.
  int64_t w = (days + 6) % 7;
  return static_cast<unsigned>(w < 0 ? w + 7 : w);
}

bool isValidDate(const CivilDate& date) {
  return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= daysInMonth(date.year, date.month);
}

bool isValidTimeOfDay(unsigned hour, unsigned minute, unsigned second) {
  return hour < 24 && minute < 60 && second < 60;
}

}  // namespace win32compat
