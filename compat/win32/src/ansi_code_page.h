#pragma once

#include "windows.h"

namespace win32compat {

// The process's ANSI code page: the override of Win32CompatSetAnsiCodePage,
// else the one the process locale names.
UINT ansiCodePage();

// The concrete code page a conversion uses for `codePage` (CP_ACP and
// friends resolved), or 0 when this library cannot convert it.
UINT resolveCodePage(UINT codePage);

}  // namespace win32compat
