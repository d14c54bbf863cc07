// Reading a VARIANT's value as a number, the common ground of the numeric,
// Boolean and date conversions.
#include "variant_number.h"

#include <charconv>

namespace win32compat {

bool isIntegerType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT: return true;
    default: return false;
  }
}

__int128 integerValue(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_I8: return v.llVal;
    case VT_INT: return v.intVal;
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UI8: return v.ullVal;
    case VT_UINT: return v.uintVal;
    default: return 0;
  }
}

bool trimmedAscii(BSTR s, char (&buffer)[400], size_t* length) {
  UINT n = SysStringLen(s);
  UINT first = 0;
  while (first < n && (s[first] == u' ' || s[first] == u'\t')) ++first;
  while (n > first && (s[n - 1] == u' ' || s[n - 1] == u'\t')) --n;
  if (n - first >= sizeof buffer) return false;
  for (UINT i = first; i < n; ++i) {
    if (s[i] > 0x7F) return false;
    buffer[i - first] = static_cast<char>(s[i]);
  }
  *length = n - first;
  return true;
}

namespace {

HRESULT parseNumber(BSTR s, Number* number) {
  char text[400];
  size_t length;
  if (!trimmedAscii(s, text, &length) || length == 0) return DISP_E_TYPEMISMATCH;
  const char* begin = text[0] == '+' ? text + 1 : text;
  const char* end = text + length;
  // from_chars would also take "inf", "nan" and "+-1".
  const char* firstDigit = begin < end && *begin == '-' && begin == text ? begin + 1 : begin;
  if (firstDigit == end || !((*firstDigit >= '0' && *firstDigit <= '9') || *firstDigit == '.')) {
    return DISP_E_TYPEMISMATCH;
  }
  long long whole;
  auto exact = std::from_chars(begin, end, whole);
  if (exact.ec == std::errc() && exact.ptr == end) {
    number->whole = whole;
    return S_OK;
  }
  double real;
  auto approx = std::from_chars(begin, end, real);
  if (approx.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (approx.ec != std::errc() || approx.ptr != end) return DISP_E_TYPEMISMATCH;
  number->integral = false;
  number->real = real;
  return S_OK;
}

}  // namespace

HRESULT numberOf(const VARIANT& v, Number* number) {
  if (isIntegerType(v.vt)) {
    number->whole = integerValue(v);
    return S_OK;
  }
  switch (v.vt) {
    case VT_EMPTY: return S_OK;
    case VT_BOOL: number->whole = v.boolVal ? -1 : 0; return S_OK;
    case VT_R4:
      number->integral = false;
      number->real = v.fltVal;
      return S_OK;
    case VT_R8:
      number->integral = false;
      number->real = v.dblVal;
      return S_OK;
    case VT_DATE:
      number->integral = false;
      number->real = v.date;
      return S_OK;
    case VT_BSTR: return parseNumber(v.bstrVal, number);
    default: return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace win32compat
