#pragma once

#include "windows.h"

namespace win32compat {

// A value read as a number: exact when it was an integer.
struct Number {
  bool integral = true;
  __int128 whole = 0;
  double real = 0;

  double asReal() const { return integral ? static_cast<double>(whole) : real; }
};

bool isIntegerType(VARTYPE vt);

// The value of a VARIANT of an integer type.
__int128 integerValue(const VARIANT& v);

// The ASCII text of a BSTR with surrounding blanks removed; false when it is
// too long to be a number or holds other characters.
bool trimmedAscii(BSTR s, char (&buffer)[400], size_t* length);

// EMPTY (0), the integer types, BOOL (-1 or 0), R4, R8, DATE and numeric
// text; DISP_E_TYPEMISMATCH for anything else, DISP_E_OVERFLOW for text
// beyond a double.
HRESULT numberOf(const VARIANT& v, Number* number);

}  // namespace win32compat
