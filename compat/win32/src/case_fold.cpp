#include "case_fold.h"

#include "simple_case_fold.h"

namespace win32compat {

WCHAR foldCase(WCHAR c) {
  // A lone surrogate unit folds to itself; BMP letters fold within the BMP.
  return static_cast<WCHAR>(unicode::simpleCaseFold(c));
}

}  // namespace win32compat
