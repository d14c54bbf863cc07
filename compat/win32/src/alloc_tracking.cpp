#include "alloc_tracking.h"

#include "win32_compat.h"

namespace win32compat {

std::atomic<LONG> liveStrings{0};
std::atomic<LONG> liveArrays{0};

namespace {
// -1: no failure planned; otherwise the number of allocations that may still
// succeed before every later one fails.
thread_local LONG successesLeft = -1;
}  // namespace

bool allocationPermitted() {
  if (successesLeft < 0) return true;
  if (successesLeft == 0) return false;
  --successesLeft;
  return true;
}

}  // namespace win32compat

void Win32CompatFailAllocationsAfter(LONG successes) { win32compat::successesLeft = successes < 0 ? -1 : successes; }

LONG Win32CompatLiveStrings(void) { return win32compat::liveStrings.load(); }

LONG Win32CompatLiveArrays(void) { return win32compat::liveArrays.load(); }
