// The COM task allocator.
#include <cstdlib>

#include "windows.h"

LPVOID CoTaskMemAlloc(SIZE_T cb) {
  // A request for zero bytes still gets a distinct block.
  return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) { std::free(pv); }
