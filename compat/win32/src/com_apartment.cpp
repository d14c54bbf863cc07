// The calling thread's COM apartment: which kind it entered first and how
// many successful initialisations are still to be balanced.
#include "win32_compat.h"
#include "windows.h"

namespace {

constexpr DWORD kDisableOle1Dde = 0x4;
constexpr DWORD kSpeedOverMemory = 0x8;
constexpr DWORD kKnownFlags = COINIT_APARTMENTTHREADED | COINIT_MULTITHREADED | kDisableOle1Dde | kSpeedOverMemory;

struct Apartment {
  LONG depth = 0;
  DWORD kind = COINIT_MULTITHREADED;
};

thread_local Apartment apartment;

}  // namespace

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved || (dwCoInit & ~kKnownFlags)) return E_INVALIDARG;
  DWORD kind = dwCoInit & COINIT_APARTMENTTHREADED;
  if (apartment.depth == 0) {
    apartment.kind = kind;
    apartment.depth = 1;
    return S_OK;
  }
  // A refused change of kind is not counted: the caller must not balance it.
  if (apartment.kind != kind) return RPC_E_CHANGED_MODE;
  ++apartment.depth;
  return S_FALSE;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize(void) {
  if (apartment.depth > 0) --apartment.depth;
}

LONG Win32CompatComInitDepth(void) { return apartment.depth; }
