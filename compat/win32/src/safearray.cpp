// SAFEARRAY descriptors: creation, destruction, bounds and locks.
//
// Like oleaut32, each descriptor we allocate sits behind a 16-byte hidden
// header that holds the element VARTYPE (in its last four bytes) or, for
// interface arrays, the interface IID.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "alloc_tracking.h"
#include "safearray_internal.h"
#include "windows.h"

namespace {

constexpr size_t kHiddenHeader = 16;
// Not in the public header: they mark descriptors this library allocated.
constexpr USHORT kHaveIid = 0x0040;
constexpr USHORT kHaveVartype = 0x0080;
constexpr USHORT kNotOwnedByHeap = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr ULONG kMaxLocks = 0xFFFF;

USHORT featuresFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_BSTR | kHaveVartype;
    case VT_VARIANT: return FADF_VARIANT | kHaveVartype;
    case VT_UNKNOWN: return FADF_UNKNOWN | kHaveIid;
    case VT_DISPATCH: return FADF_DISPATCH | kHaveIid;
    default: return kHaveVartype;
  }
}

unsigned char* hiddenHeader(SAFEARRAY* psa) { return reinterpret_cast<unsigned char*>(psa) - kHiddenHeader; }

bool allocatedHere(const SAFEARRAY* psa) {
  return (psa->fFeatures & (kHaveIid | kHaveVartype)) && !(psa->fFeatures & kNotOwnedByHeap);
}

const SAFEARRAYBOUND* storedBound(const SAFEARRAY* psa, UINT nDim) {
  // Dimension 1 is stored last.
  const SAFEARRAYBOUND* bounds = psa->rgsabound;
  return bounds + (psa->cDims - nDim);
}

}  // namespace

namespace win32compat {

ULONG vartypeSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_I8:
    case VT_UI8: return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_DECIMAL: return 16;
    default: return 0;
  }
}

ElementKind elementKind(const SAFEARRAY* psa) {
  if (psa->fFeatures & FADF_BSTR) return ElementKind::String;
  if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) return ElementKind::Interface;
  if (psa->fFeatures & FADF_VARIANT) return ElementKind::Variant;
  return ElementKind::Plain;
}

size_t cellCount(const SAFEARRAY* psa) {
  size_t cells = 1;
  const SAFEARRAYBOUND* bounds = psa->rgsabound;
  for (USHORT i = 0; i < psa->cDims; ++i) cells *= bounds[i].cElements;
  return psa->cDims ? cells : 0;
}

}  // namespace win32compat

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  ULONG size = win32compat::vartypeSize(vt);
  if (!rgsabound || cDims == 0 || cDims > 0xFFFF || size == 0) return nullptr;

  size_t cells = 1;
  for (UINT i = 0; i < cDims; ++i) {
    ULONG n = rgsabound[i].cElements;
    if (n != 0 && cells > std::numeric_limits<ULONG>::max() / n) return nullptr;
    cells *= n;
  }
  if (!win32compat::allocationPermitted()) return nullptr;

  size_t descriptor = offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<unsigned char*>(std::calloc(1, kHiddenHeader + descriptor));
  if (!block) return nullptr;
  void* data = std::calloc(cells ? cells : 1, size);
  if (!data) {
    std::free(block);
    return nullptr;
  }

  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHiddenHeader);
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = featuresFor(vt);
  psa->cbElements = size;
  psa->pvData = data;
  SAFEARRAYBOUND* bounds = psa->rgsabound;
  for (UINT i = 0; i < cDims; ++i) bounds[i] = rgsabound[cDims - 1 - i];
  if (psa->fFeatures & kHaveIid) {
    const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
    std::memcpy(block, &iid, sizeof(IID));
  } else {
    DWORD stored = vt;
    std::memcpy(block + kHiddenHeader - sizeof(DWORD), &stored, sizeof(DWORD));
  }
  win32compat::liveArrays.fetch_add(1);
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (__atomic_load_n(&psa->cLocks, __ATOMIC_ACQUIRE) != 0) return DISP_E_ARRAYISLOCKED;
  if (psa->pvData) win32compat::clearCells(psa);
  if (!allocatedHere(psa)) return S_OK;  // the caller owns that memory
  std::free(psa->pvData);
  std::free(hiddenHeader(psa));
  win32compat::liveArrays.fetch_sub(1);
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  if (psa->fFeatures & kHaveIid) {
    *pvt = (psa->fFeatures & FADF_DISPATCH) ? VT_DISPATCH : VT_UNKNOWN;
  } else if (psa->fFeatures & kHaveVartype) {
    DWORD stored;
    std::memcpy(&stored, hiddenHeader(psa) + kHiddenHeader - sizeof(DWORD), sizeof(DWORD));
    *pvt = static_cast<VARTYPE>(stored);
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *pvt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = storedBound(psa, nDim)->lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND* bound = storedBound(psa, nDim);
  *plUbound = static_cast<LONG>(bound->lLbound + static_cast<int64_t>(bound->cElements) - 1);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  ULONG now = __atomic_add_fetch(&psa->cLocks, 1, __ATOMIC_ACQ_REL);
  if (now > kMaxLocks) {
    __atomic_sub_fetch(&psa->cLocks, 1, __ATOMIC_ACQ_REL);
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  ULONG locks = __atomic_load_n(&psa->cLocks, __ATOMIC_ACQUIRE);
  do {
    if (locks == 0) return E_UNEXPECTED;
  } while (!__atomic_compare_exchange_n(&psa->cLocks, &locks, locks - 1, true, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE));
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }
