// Dates as text in the en-US formats: short date "M/d/yyyy", long time
// "h:mm:ss tt". The date is left out on day 0 (1899-12-30), the time at
// midnight; day 0 at midnight is "12:00:00 AM". Both are decided after the
// value is rounded to whole seconds.
#include "date_text.h"

#include <cstdio>

namespace win32compat {

bool formatDateText(DATE value, char (&text)[kDateTextSize]) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(value, &st)) return false;
  bool hasDate = !(st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30);
  bool hasTime = st.wHour || st.wMinute || st.wSecond || !hasDate;

  int used = 0;
  if (hasDate) {
    used = std::snprintf(text, sizeof text, "%u/%u/%04u", st.wMonth, st.wDay, st.wYear);
  }
  if (hasTime) {
    unsigned hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
    std::snprintf(text + used, sizeof text - used, "%s%u:%02u:%02u %s", hasDate ? " " : "", hour12, st.wMinute,
                  st.wSecond, st.wHour < 12 ? "AM" : "PM");
  }
  return true;
}

}  // namespace win32compat
