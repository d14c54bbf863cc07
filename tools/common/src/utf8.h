// UTF-8 decoding for the host's own needs: N'...' values, JSON output and
// column widths. Strict: no overlong forms, surrogates or values past U+10FFFF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decodes the code point that starts at text[pos]. Returns the number of bytes
// it takes, or 0 when the bytes there are not valid UTF-8.
size_t decodeUtf8(std::string_view text, size_t pos, char32_t &codePoint);

// UTF-16LE bytes of valid UTF-8 text; false (out untouched) when invalid.
bool utf8ToUtf16le(std::string_view text, std::string &out);

// UTF-8 of UTF-16LE bytes (an odd last byte is dropped); an unpaired
// surrogate becomes U+FFFD.
std::string utf16leToUtf8(std::string_view utf16);

// Number of characters as a terminal shows them: code points, with every
// byte that is not valid UTF-8 counted as one.
size_t displayWidth(std::string_view text);
