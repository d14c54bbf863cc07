// OLE Automation dates: days since 1899-12-30 in the integer part, the time
// of day in the fraction. Before the epoch the integer part counts back but
// the fraction still counts forward (-1.25 is 1899-12-29 06:00).
#include <cmath>

#include "calendar.h"
#include "windows.h"

using win32compat::CivilDate;

namespace {
constexpr double kSecondsPerDay = 86400.0;
}  // namespace

INT SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DOUBLE* pvtime) {
  if (!lpSystemTime || !pvtime) return FALSE;
  const SYSTEMTIME& st = *lpSystemTime;
  CivilDate date{st.wYear, st.wMonth, st.wDay};
  if (st.wYear < 100 || st.wYear > 9999 || !win32compat::isValidDate(date) ||
      !win32compat::isValidTimeOfDay(st.wHour, st.wMinute, st.wSecond)) {
    return FALSE;
  }
  // Milliseconds are ignored, as oleaut32 does.
  double day = static_cast<double>(win32compat::daysFromCivil(date));
  double fraction = (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond) / kSecondsPerDay;
  *pvtime = day < 0 ? day - fraction : day + fraction;
  return TRUE;
}

INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return FALSE;
  // Written so that NaN fails too.
  if (!(vtime > win32compat::kFirstOleDay - 1.0 && vtime < win32compat::kLastOleDay + 1.0)) {
    return FALSE;
  }
  double whole = std::trunc(vtime);
  auto day = static_cast<int64_t>(whole);
  // To the nearest second; a time that rounds up to midnight is the next day.
  long long second = std::llround(std::fabs(vtime - whole) * kSecondsPerDay);
  if (second >= 86400) {
    second -= 86400;
    ++day;
  }
  if (day < win32compat::kFirstOleDay || day > win32compat::kLastOleDay) return FALSE;

  CivilDate date = win32compat::civilFromDays(day);
  SYSTEMTIME& st = *lpSystemTime;
  st.wYear = static_cast<WORD>(date.year);
  st.wMonth = static_cast<WORD>(date.month);
  st.wDay = static_cast<WORD>(date.day);
  st.wDayOfWeek = static_cast<WORD>(win32compat::weekdayOf(day));
  st.wHour = static_cast<WORD>(second / 3600);
  st.wMinute = static_cast<WORD>(second / 60 % 60);
  st.wSecond = static_cast<WORD>(second % 60);
  st.wMilliseconds = 0;
  return TRUE;
}
