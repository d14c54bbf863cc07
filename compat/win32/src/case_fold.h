#pragma once

#include "windows.h"

namespace win32compat {

// Unicode simple case folding (CaseFolding.txt, status C and S) of one UTF-16
// unit; surrogates and characters without a fold stay as they are.
WCHAR foldCase(WCHAR c);

}  // namespace win32compat
