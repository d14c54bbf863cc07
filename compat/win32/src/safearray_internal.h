// What the SAFEARRAY descriptor code and the element code share.
#pragma once

#include <cstddef>

#include "windows.h"

namespace win32compat {

// How an element owns what it points to, read from fFeatures as oleaut32
// does, so hand-built descriptors are handled too.
enum class ElementKind { Plain, String, Interface, Variant };

ElementKind elementKind(const SAFEARRAY* psa);

// Bytes one value of `vt` takes in an array (and behind a VT_BYREF
// pointer); 0 for types an array cannot hold.
ULONG vartypeSize(VARTYPE vt);

// Number of cells over all dimensions.
size_t cellCount(const SAFEARRAY* psa);

// Frees what every cell owns (BSTRs, interface references, VARIANT
// contents) and leaves the cells empty.
void clearCells(SAFEARRAY* psa);

// A deep copy of `source` with the same element type and bounds.
HRESULT copyArray(SAFEARRAY* source, SAFEARRAY** copy);

}  // namespace win32compat
