// Bookkeeping shared by the BSTR and SAFEARRAY allocators: the per-thread
// failure countdown and the process-wide counts of live objects.
#pragma once

#include <atomic>

#include "windows.h"

namespace win32compat {

// Consumes one step of the calling thread's countdown; false means the
// allocation must fail as if memory had run out.
bool allocationPermitted();

extern std::atomic<LONG> liveStrings;
extern std::atomic<LONG> liveArrays;

}  // namespace win32compat
