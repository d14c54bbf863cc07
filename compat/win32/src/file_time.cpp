// FILETIME: 100-nanosecond intervals since 1601-01-01, as two 32-bit halves
// (low first).
#include <cstring>

#include "calendar.h"
#include "windows.h"

using win32compat::CivilDate;

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, void* ft) {
  if (!st || !ft) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  CivilDate date{st->wYear, st->wMonth, st->wDay};
  if (st->wYear < 1601 || st->wYear > 30827 || !win32compat::isValidDate(date) ||
      !win32compat::isValidTimeOfDay(st->wHour, st->wMinute, st->wSecond) || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = win32compat::daysFromCivil(date) - win32compat::daysFromCivil(CivilDate{1601, 1, 1});
  int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
  uint64_t ticks = static_cast<uint64_t>(seconds) * 10000000u + st->wMilliseconds * 10000u;
  DWORD halves[2] = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  std::memcpy(ft, halves, sizeof(halves));
  return TRUE;
}
