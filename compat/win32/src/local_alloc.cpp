// Local heap: what FormatMessageA's ALLOCATE_BUFFER hands out and LocalFree
// takes back. Only fixed (pointer) blocks exist here.
#include <cstdlib>

#include "windows.h"

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  // A zero-byte block is still a distinct, freeable block on Windows.
  size_t bytes = uBytes == 0 ? 1 : uBytes;
  void* block = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, bytes) : std::malloc(bytes);
  if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
