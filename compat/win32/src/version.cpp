// The Windows version callers see: Windows 10 22H2, an NT platform.
#include <cstring>

#include "windows.h"

namespace {
// OSVERSIONINFOEXA adds service pack numbers, suite mask, product type and
// a reserved byte.
constexpr DWORD kVersionInfoExSize = sizeof(OSVERSIONINFOA) + 8;
constexpr BYTE kWorkstation = 1;  // VER_NT_WORKSTATION
}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!lpVersionInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != kVersionInfoExSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(lpVersionInformation, 0, size);
  lpVersionInformation->dwOSVersionInfoSize = size;
  lpVersionInformation->dwMajorVersion = 10;
  lpVersionInformation->dwMinorVersion = 0;
  lpVersionInformation->dwBuildNumber = 19045;
  lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (size == kVersionInfoExSize) {
    // wProductType follows two WORDs and the WORD suite mask.
    reinterpret_cast<BYTE*>(lpVersionInformation)[sizeof(OSVERSIONINFOA) + 6] = kWorkstation;
  }
  return TRUE;
}
