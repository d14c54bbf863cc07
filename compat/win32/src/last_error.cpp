// The thread's last-error value, as kernel32 keeps it in the thread block.
#include "windows.h"

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }
