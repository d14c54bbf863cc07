// The thread's last-error value, as kernel32 keeps it in the thread block.
#include "windows.h"

namespace {
thread_local DWORD last_error = 0;
}

DWORD GetLastError(void) { return last_error; }

void SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }
