// SAFEARRAY cells: addressing, reading and writing single elements with the
// ownership rules of their type, clearing and deep copies.
#include <cstring>
#include <memory>
#include <new>

#include "safearray_internal.h"
#include "windows.h"

namespace {

using win32compat::ElementKind;

// Address of the cell that rgIndices names; index 0 is dimension 1, which
// varies fastest.
HRESULT cellAddress(SAFEARRAY* psa, const LONG* rgIndices, unsigned char** cell) {
  if (!psa->pvData) return E_INVALIDARG;
  const SAFEARRAYBOUND* bounds = psa->rgsabound;
  size_t offset = 0;
  size_t stride = 1;
  for (USHORT dim = 0; dim < psa->cDims; ++dim) {
    const SAFEARRAYBOUND& bound = bounds[psa->cDims - 1 - dim];
    int64_t position = static_cast<int64_t>(rgIndices[dim]) - bound.lLbound;
    if (position < 0 || position >= static_cast<int64_t>(bound.cElements)) return DISP_E_BADINDEX;
    offset += static_cast<size_t>(position) * stride;
    stride *= bound.cElements;
  }
  *cell = static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
  return S_OK;
}

void clearCell(ElementKind kind, void* cell) {
  switch (kind) {
    case ElementKind::String: {
      auto* slot = static_cast<BSTR*>(cell);
      SysFreeString(*slot);
      *slot = nullptr;
      break;
    }
    case ElementKind::Interface: {
      auto* slot = static_cast<IUnknown**>(cell);
      if (*slot) (*slot)->Release();
      *slot = nullptr;
      break;
    }
    case ElementKind::Variant: VariantClear(static_cast<VARIANT*>(cell)); break;
    case ElementKind::Plain: break;
  }
}

// Copies one value into an empty cell (or out-parameter), taking its own
// reference or string. `value` is what PutElement receives: the BSTR or
// interface pointer itself, or the address of the VARIANT or plain value.
HRESULT copyIntoEmpty(ElementKind kind, ULONG size, void* target, const void* value) {
  switch (kind) {
    case ElementKind::String: {
      auto source = static_cast<BSTR>(const_cast<void*>(value));
      BSTR copy = source ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source)) : nullptr;
      if (source && !copy) return E_OUTOFMEMORY;
      *static_cast<BSTR*>(target) = copy;
      return S_OK;
    }
    case ElementKind::Interface: {
      auto* source = static_cast<IUnknown*>(const_cast<void*>(value));
      if (source) source->AddRef();
      *static_cast<IUnknown**>(target) = source;
      return S_OK;
    }
    case ElementKind::Variant:
      VariantInit(static_cast<VARIANT*>(target));
      return VariantCopy(static_cast<VARIANT*>(target), static_cast<const VARIANT*>(value));
    case ElementKind::Plain: std::memcpy(target, value, size); return S_OK;
  }
  return E_UNEXPECTED;
}

// The value a cell holds, in the form copyIntoEmpty takes it.
const void* cellValue(ElementKind kind, const unsigned char* cell) {
  switch (kind) {
    case ElementKind::String: return *reinterpret_cast<BSTR const*>(cell);
    case ElementKind::Interface: return *reinterpret_cast<IUnknown* const*>(cell);
    default: return cell;
  }
}

// Holds the array lock for the length of one element operation.
class ArrayLock {
 public:
  explicit ArrayLock(SAFEARRAY* psa) : psa_(psa), hr_(SafeArrayLock(psa)) {}
  ~ArrayLock() {
    if (SUCCEEDED(hr_)) SafeArrayUnlock(psa_);
  }
  ArrayLock(const ArrayLock&) = delete;
  ArrayLock& operator=(const ArrayLock&) = delete;
  HRESULT result() const { return hr_; }

 private:
  SAFEARRAY* psa_;
  HRESULT hr_;
};

}  // namespace

namespace win32compat {

void clearCells(SAFEARRAY* psa) {
  ElementKind kind = elementKind(psa);
  if (kind == ElementKind::Plain) return;
  auto* cell = static_cast<unsigned char*>(psa->pvData);
  for (size_t i = cellCount(psa); i > 0; --i, cell += psa->cbElements) clearCell(kind, cell);
}

HRESULT copyArray(SAFEARRAY* source, SAFEARRAY** copy) {
  *copy = nullptr;
  VARTYPE vt;
  HRESULT hr = SafeArrayGetVartype(source, &vt);
  if (FAILED(hr)) return hr;
  std::unique_ptr<SAFEARRAYBOUND[]> bounds(new (std::nothrow) SAFEARRAYBOUND[source->cDims]);
  if (!bounds) return E_OUTOFMEMORY;
  for (UINT dim = 1; dim <= source->cDims; ++dim) {
    SafeArrayGetLBound(source, dim, &bounds[dim - 1].lLbound);
    const SAFEARRAYBOUND* stored = source->rgsabound;
    bounds[dim - 1].cElements = stored[source->cDims - dim].cElements;
  }
  SAFEARRAY* result = SafeArrayCreate(vt, source->cDims, bounds.get());
  if (!result) return E_OUTOFMEMORY;

  ElementKind kind = elementKind(source);
  const auto* from = static_cast<const unsigned char*>(source->pvData);
  auto* to = static_cast<unsigned char*>(result->pvData);
  for (size_t i = cellCount(source); i > 0 && from; --i) {
    hr = copyIntoEmpty(kind, source->cbElements, to, cellValue(kind, from));
    if (FAILED(hr)) {
      SafeArrayDestroy(result);
      return hr;
    }
    from += source->cbElements;
    to += source->cbElements;
  }
  *copy = result;
  return S_OK;
}

}  // namespace win32compat

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  ElementKind kind = win32compat::elementKind(psa);
  if (!pv && (kind == ElementKind::Plain || kind == ElementKind::Variant)) return E_INVALIDARG;
  ArrayLock lock(psa);
  if (FAILED(lock.result())) return lock.result();
  unsigned char* cell;
  HRESULT hr = cellAddress(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  if (kind == ElementKind::Variant) {
    return VariantCopy(reinterpret_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
  }
  if (kind == ElementKind::Plain) {
    std::memcpy(cell, pv, psa->cbElements);
    return S_OK;
  }
  // Take the new string or reference before letting go of the old one: they
  // may be the same.
  void* fresh = nullptr;
  hr = copyIntoEmpty(kind, sizeof(fresh), &fresh, pv);
  if (FAILED(hr)) return hr;
  clearCell(kind, cell);
  std::memcpy(cell, &fresh, sizeof(fresh));
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  ArrayLock lock(psa);
  if (FAILED(lock.result())) return lock.result();
  unsigned char* cell;
  HRESULT hr = cellAddress(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  ElementKind kind = win32compat::elementKind(psa);
  return copyIntoEmpty(kind, psa->cbElements, pv, cellValue(kind, cell));
}
