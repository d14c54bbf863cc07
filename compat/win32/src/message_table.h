#pragma once

#include "windows.h"

namespace win32compat {

// The English text the system message table holds for `code` (with its
// inserts and trailing "\r\n"), or null when there is none.
const char* findSystemMessage(DWORD code);

}  // namespace win32compat
