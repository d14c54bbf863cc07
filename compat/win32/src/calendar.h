// Proleptic Gregorian calendar arithmetic, counted in days from the OLE
// Automation epoch (1899-12-30).
#pragma once

#include <cstdint>

namespace win32compat {

// The days an OLE Automation date can name: 0100-01-01 to 9999-12-31.
constexpr int64_t kFirstOleDay = -657434;
constexpr int64_t kLastOleDay = 2958465;

struct CivilDate {
  int year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

int64_t daysFromCivil(const CivilDate& date);
CivilDate civilFromDays(int64_t days);
// 0 = Sunday, as SYSTEMTIME.wDayOfWeek counts.
unsigned weekdayOf(int64_t days);
bool isValidDate(const CivilDate& date);
bool isValidTimeOfDay(unsigned hour, unsigned minute, unsigned second);

}  // namespace win32compat
