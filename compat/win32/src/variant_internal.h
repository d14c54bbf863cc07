#pragma once

#include "windows.h"

namespace win32compat {

// S_OK when a VARIANT may carry `vt`, DISP_E_BADVARTYPE otherwise.
HRESULT validateVartype(VARTYPE vt);

}  // namespace win32compat
