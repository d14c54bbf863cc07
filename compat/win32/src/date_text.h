#pragma once

#include "windows.h"

namespace win32compat {

constexpr size_t kDateTextSize = 32;

// The text VarBstrFromDate gives for the en-US user default locale; false
// for a value outside the OLE date range.
bool formatDateText(DATE value, char (&text)[kDateTextSize]);

}  // namespace win32compat
