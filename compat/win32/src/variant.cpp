// VARIANT lifetime: initialisation, clearing and deep copies.
#include "safearray_internal.h"
#include "variant_internal.h"
#include "windows.h"

namespace {
constexpr VARTYPE kVector = 0x1000;
constexpr VARTYPE kReserved = 0x8000;
}  // namespace

namespace win32compat {

HRESULT validateVartype(VARTYPE vt) {
  VARTYPE extra = vt & (kVector | VT_ARRAY | VT_BYREF | kReserved);
  VARTYPE base = vt & VT_TYPEMASK;
  if (extra & (kVector | kReserved)) return DISP_E_BADVARTYPE;
  if (base == 15 || base >= VT_VOID) return DISP_E_BADVARTYPE;
  if ((extra & (VT_ARRAY | VT_BYREF)) && base <= VT_NULL) return DISP_E_BADVARTYPE;
  return S_OK;
}

}  // namespace win32compat

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg) pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  HRESULT hr = win32compat::validateVartype(pvarg->vt);
  if (FAILED(hr)) return hr;
  if (!(pvarg->vt & VT_BYREF)) {
    if (pvarg->vt & VT_ARRAY) {
      // A locked array stays where it is, still owned by the VARIANT.
      hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  HRESULT hr = win32compat::validateVartype(pvargSrc->vt);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;

  VARIANT copy = *pvargSrc;
  if (!(copy.vt & VT_BYREF)) {
    if (copy.vt & VT_ARRAY) {
      if (pvargSrc->parray) hr = win32compat::copyArray(pvargSrc->parray, &copy.parray);
    } else if (copy.vt == VT_BSTR) {
      BSTR source = pvargSrc->bstrVal;
      if (source) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
        if (!copy.bstrVal) hr = E_OUTOFMEMORY;
      }
    } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
      copy.punkVal->AddRef();
    }
  }
  if (FAILED(hr)) return hr;
  *pvargDest = copy;
  return S_OK;
}
