#ifndef WIN32COMPAT_CASE_FOLD_H
#define WIN32COMPAT_CASE_FOLD_H

#include "windows.h"

namespace win32compat {

// Unicode simple case folding (CaseFolding.txt, status C and S) for Basic
// Latin, Latin-1, Latin Extended-A, Greek and Cyrillic; other characters
// fold to themselves.
WCHAR fold_case(WCHAR c);

}  // namespace win32compat

#endif
