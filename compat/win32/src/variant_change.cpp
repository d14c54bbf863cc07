// VariantChangeType: the conversions between the scalar types, strings,
// dates and interfaces that callers here meet. Anything else is
// DISP_E_TYPEMISMATCH. The result is built apart from the source, so the
// destination may be the source, and is left untouched on failure.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "calendar.h"
#include "date_text.h"
#include "safearray_internal.h"
#include "variant_internal.h"
#include "variant_number.h"
#include "windows.h"

using win32compat::integerValue;
using win32compat::isIntegerType;
using win32compat::Number;
using win32compat::numberOf;
using win32compat::trimmedAscii;

namespace {

constexpr USHORT kLocalBool = 0x10;  // VARIANT_LOCALBOOL
constexpr DISPID kDispidValue = 0;
constexpr WORD kPropertyGet = 2;  // DISPATCH_PROPERTYGET

BSTR bstrFromAscii(const char* text, size_t length) {
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (!result) return nullptr;
  for (size_t i = 0; i < length; ++i) result[i] = static_cast<unsigned char>(text[i]);
  return result;
}

bool isUnsignedType(VARTYPE vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UI8 || vt == VT_UINT;
}

HRESULT toInteger(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  Number number;
  HRESULT hr = numberOf(src, &number);
  if (FAILED(hr)) return hr;
  __int128 lo, hi;
  switch (vt) {
    case VT_I1:
      lo = INT8_MIN;
      hi = INT8_MAX;
      break;
    case VT_I2:
      lo = INT16_MIN;
      hi = INT16_MAX;
      break;
    case VT_I4:
    case VT_INT:
      lo = INT32_MIN;
      hi = INT32_MAX;
      break;
    case VT_I8:
      lo = INT64_MIN;
      hi = INT64_MAX;
      break;
    case VT_UI1:
      lo = 0;
      hi = UINT8_MAX;
      break;
    case VT_UI2:
      lo = 0;
      hi = UINT16_MAX;
      break;
    case VT_UI4:
    case VT_UINT:
      lo = 0;
      hi = UINT32_MAX;
      break;
    default:
      lo = 0;
      hi = UINT64_MAX;
      break;
  }
  __int128 value;
  if (number.integral) {
    value = number.whole;
    // A Boolean goes to an unsigned type bit for bit (VARIANT_TRUE -> 255).
    if (src.vt == VT_BOOL && isUnsignedType(vt) && value < 0) value = hi;
  } else {
    double rounded = std::nearbyint(number.real);  // ties to even, as oleaut32
    if (!std::isfinite(rounded) || rounded < -1.8e19 || rounded > 1.9e19) return DISP_E_OVERFLOW;
    value = static_cast<__int128>(rounded);
  }
  if (value < lo || value > hi) return DISP_E_OVERFLOW;
  out->vt = vt;
  out->ullVal = 0;
  switch (vt) {
    case VT_I1: out->cVal = static_cast<CHAR>(value); break;
    case VT_I2: out->iVal = static_cast<SHORT>(value); break;
    case VT_I4: out->lVal = static_cast<LONG>(value); break;
    case VT_INT: out->intVal = static_cast<INT>(value); break;
    case VT_I8: out->llVal = static_cast<LONGLONG>(value); break;
    case VT_UI1: out->bVal = static_cast<BYTE>(value); break;
    case VT_UI2: out->uiVal = static_cast<USHORT>(value); break;
    case VT_UI4: out->ulVal = static_cast<ULONG>(value); break;
    case VT_UINT: out->uintVal = static_cast<UINT>(value); break;
    default: out->ullVal = static_cast<ULONGLONG>(value); break;
  }
  return S_OK;
}

HRESULT toReal(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  Number number;
  HRESULT hr = numberOf(src, &number);
  if (FAILED(hr)) return hr;
  double value = number.asReal();
  if (vt == VT_R4) {
    if (std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
    out->fltVal = static_cast<float>(value);
  } else if (vt == VT_DATE) {
    // The same range VariantTimeToSystemTime accepts; written so NaN fails.
    if (!(value > win32compat::kFirstOleDay - 1.0 && value < win32compat::kLastOleDay + 1.0)) {
      return DISP_E_OVERFLOW;
    }
    out->date = value;
  } else {
    out->dblVal = value;
  }
  out->vt = vt;
  return S_OK;
}

bool equalsIgnoringCase(const char* text, size_t length, const char* word) {
  size_t i = 0;
  for (; i < length && word[i]; ++i) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != word[i]) return false;
  }
  return i == length && !word[i];
}

HRESULT toBool(const VARIANT& src, VARIANT* out) {
  if (src.vt == VT_BSTR) {
    char text[400];
    size_t length;
    bool ascii = trimmedAscii(src.bstrVal, text, &length);
    if (ascii && (equalsIgnoringCase(text, length, "true") || equalsIgnoringCase(text, length, "false"))) {
      out->vt = VT_BOOL;
      out->boolVal = (text[0] | 0x20) == 't' ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Number number;
  HRESULT hr = numberOf(src, &number);
  if (FAILED(hr)) return hr;
  bool set = number.integral ? number.whole != 0 : number.real != 0;
  out->vt = VT_BOOL;
  out->boolVal = set ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// %.15G for doubles and %.7G for floats, as VarBstrFromR8/R4 print them,
// independent of the C locale's decimal point.
size_t realText(double value, int precision, char (&text)[64]) {
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
  for (char* p = text; p < result.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  return static_cast<size_t>(result.ptr - text);
}

HRESULT toString(const VARIANT& src, USHORT flags, VARIANT* out) {
  char text[64];
  size_t length = 0;
  if (isIntegerType(src.vt)) {
    __int128 value = integerValue(src);
    auto result = value < 0 ? std::to_chars(text, text + sizeof text, static_cast<long long>(value))
                            : std::to_chars(text, text + sizeof text, static_cast<unsigned long long>(value));
    length = static_cast<size_t>(result.ptr - text);
  } else {
    switch (src.vt) {
      case VT_EMPTY: break;
      case VT_BOOL: {
        // As words only when asked; otherwise the number the VARIANT_BOOL
        // holds, as Wine's oleaut32 writes it (-1 and 0, and 1 for a 1).
        if (flags & (VARIANT_ALPHABOOL | kLocalBool)) {
          const char* word = src.boolVal ? "True" : "False";
          length = std::strlen(word);
          std::memcpy(text, word, length);
        } else {
          length =
              static_cast<size_t>(std::to_chars(text, text + sizeof text, static_cast<int>(src.boolVal)).ptr - text);
        }
        break;
      }
      case VT_R4: length = realText(src.fltVal, 7, text); break;
      case VT_R8: length = realText(src.dblVal, 15, text); break;
      case VT_DATE: {
        char date[win32compat::kDateTextSize];
        if (!win32compat::formatDateText(src.date, date)) return E_INVALIDARG;
        length = std::strlen(date);
        std::memcpy(text, date, length);
        break;
      }
      default: return DISP_E_TYPEMISMATCH;
    }
  }
  out->bstrVal = bstrFromAscii(text, length);
  if (!out->bstrVal) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  return S_OK;
}

HRESULT toInterface(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  if (src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  void* wanted = nullptr;
  if (src.punkVal) {
    HRESULT hr = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &wanted);
    if (FAILED(hr)) return hr;
  }
  out->vt = vt;
  out->punkVal = static_cast<IUnknown*>(wanted);
  return S_OK;
}

// The value a VT_BYREF variant points at, as a plain variant that borrows
// (does not own) what it refers to.
HRESULT dereference(const VARIANT& src, VARIANT* direct) {
  VARTYPE base = src.vt & ~VT_BYREF;
  if (!src.byref) return E_INVALIDARG;
  if (base == VT_VARIANT) {
    *direct = *src.pvarVal;
    return (direct->vt & VT_BYREF) ? DISP_E_TYPEMISMATCH : S_OK;
  }
  if (base & VT_ARRAY) {
    direct->vt = base;
    direct->parray = *static_cast<SAFEARRAY**>(src.byref);
    return S_OK;
  }
  ULONG size = win32compat::vartypeSize(base);
  if (size == 0 || size > sizeof(direct->llVal)) return DISP_E_TYPEMISMATCH;
  direct->vt = base;
  direct->ullVal = 0;
  std::memcpy(&direct->llVal, src.byref, size);
  return S_OK;
}

HRESULT coerce(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* out, int depth);

// An object stands for its value property unless the caller says not to.
HRESULT coerceValueProperty(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* out, int depth) {
  if ((flags & VARIANT_NOVALUEPROP) || !src.pdispVal || depth > 0) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = src.pdispVal->Invoke(kDispidValue, GUID_NULL, 0x0409, kPropertyGet, &none, &value, nullptr, nullptr);
  if (SUCCEEDED(hr)) hr = coerce(value, vt, flags, out, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT coerce(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* out, int depth) {
  if (src.vt == vt) return VariantCopy(out, &src);
  if (vt == VT_EMPTY) return S_OK;
  if ((src.vt | vt) & (VT_ARRAY | VT_BYREF)) return DISP_E_TYPEMISMATCH;
  if (src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (src.vt == VT_DISPATCH && vt != VT_UNKNOWN) {
    return coerceValueProperty(src, vt, flags, out, depth);
  }
  if (isIntegerType(vt)) return toInteger(src, vt, out);
  switch (vt) {
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      if (vt == VT_DATE && src.vt == VT_BSTR) return DISP_E_TYPEMISMATCH;
      return toReal(src, vt, out);
    case VT_BOOL: return toBool(src, out);
    case VT_BSTR: return toString(src, flags, out);
    case VT_UNKNOWN:
    case VT_DISPATCH: return toInterface(src, vt, out);
    default: return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  HRESULT hr = win32compat::validateVartype(pvarSrc->vt);
  if (SUCCEEDED(hr)) hr = win32compat::validateVartype(vt);
  if (FAILED(hr)) return hr;

  VARIANT source = *pvarSrc;
  if ((source.vt & VT_BYREF) && !(vt & VT_BYREF)) {
    hr = dereference(*pvarSrc, &source);
    if (FAILED(hr)) return hr;
  }
  VARIANT result;
  VariantInit(&result);
  hr = coerce(source, vt, wFlags, &result, 0);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *pvargDest = result;
  return S_OK;
}
