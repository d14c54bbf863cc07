// Conversions between the procedure's 8-bit texts and the UTF-16 strings
// every directory call takes and gives. Both directions use one code page,
// the calling thread's ANSI code page (conversionCodePage).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/unique_bstr.h"

UINT conversionCodePage();

// 8-bit text to a new BSTR (an empty text gives an empty, not a null, BSTR).
// Raises StringLayerFailure when it cannot be converted or allocated.
UniqueBstr toWide(std::string_view text);

// UTF-16 to 8-bit text; a null string gives an empty text. Characters the
// code page lacks become its default character.
std::string toNarrow(const WCHAR* text, size_t length);
std::string toNarrow(const WCHAR* text);  // up to the terminator
inline std::string toNarrow(const UniqueBstr& text) { return toNarrow(text.get(), text.length()); }

// Length of a zero-terminated UTF-16 string.
size_t wideLength(const WCHAR* text);
