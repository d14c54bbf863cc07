#include "alloc_tracking.h"

#include "win32_compat.h"

namespace win32compat {

std::atomic<LONG> live_strings{0};
std::atomic<LONG> live_arrays{0};

namespace {
// -1: no failure planned; otherwise the number of allocations that may still
// succeed before every later one fails.
thread_local LONG successes_left = -1;
}  // namespace

bool allocation_permitted() {
  if (successes_left < 0) return true;
  if (successes_left == 0) return false;
  --successes_left;
  return true;
}

}  // namespace win32compat

void Win32CompatFailAllocationsAfter(LONG successes) {
  win32compat::successes_left = successes < 0 ? -1 : successes;
}

LONG Win32CompatLiveStrings(void) { return win32compat::live_strings.load(); }

LONG Win32CompatLiveArrays(void) { return win32compat::live_arrays.load(); }
