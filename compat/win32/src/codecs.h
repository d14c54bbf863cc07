// The character codecs behind MultiByteToWideChar and WideCharToMultiByte.
#pragma once

#include <cstddef>

#include "output_sink.h"
#include "windows.h"

namespace win32compat {

// UTF-8 to UTF-16 and back, as the platform converts CP_UTF8: each maximal
// subpart of an ill-formed sequence and each unpaired surrogate becomes one
// U+FFFD, or, when strict (MB_ERR_INVALID_CHARS, WC_ERR_INVALID_CHARS), ends
// the conversion with false.
bool decodeUtf8(const unsigned char* in, size_t length, bool strict, OutputSink<WCHAR>& out);
bool encodeUtf8(const WCHAR* in, size_t length, bool strict, OutputSink<char>& out);

// The single-byte code pages: 1252, 28591 and 20127.
bool isSingleByte(UINT codePage);
WCHAR singleByteToUnicode(UINT codePage, unsigned char byte);
// -1 when the code page has no byte for the character.
int unicodeToSingleByte(UINT codePage, WCHAR unit);
// The byte of a similar character for one the code page lacks (best fit);
// -1 when there is none.
int bestFitSingleByte(UINT codePage, WCHAR unit);

}  // namespace win32compat
