// Text as the hosts carry it, over the one codec (utf_codec.h): UTF-8 in the
// host, UTF-16LE bytes in N'...' values and on the wire.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "utf_codec.h"

// The UTF-16LE bytes of UTF-16 text, and back (an odd last byte is dropped).
std::string utf16leBytes(std::u16string_view text);
std::u16string fromUtf16le(std::string_view bytes);

// UTF-16LE bytes of well-formed UTF-8 text; false (out untouched) otherwise.
bool utf8ToUtf16le(std::string_view text, std::string& out);

// UTF-8 of UTF-16LE bytes (an odd last byte is dropped); an unpaired
// surrogate becomes U+FFFD.
std::string utf16leToUtf8(std::string_view utf16);

// Number of characters as a terminal shows them: scalar values, with every
// byte that is not well-formed UTF-8 counted as one.
size_t displayWidth(std::string_view text);
