// JSON string literals and hex text of raw bytes, shared by the formatters.
#pragma once

#include <string>
#include <string_view>

// What a JSON string does with bytes that are not valid UTF-8.
enum class InvalidUtf8 {
  EscapeByte,  // \u00XX with the byte's value: nothing is lost, but it reads as Latin-1
  Replace,     // U+FFFD for each maximal subpart, for text meant only to be read
};

// Appends `bytes` as a quoted JSON string. Control characters, '"' and '\'
// are escaped; valid UTF-8 is kept as it is.
void appendJsonString(std::string& out, std::string_view bytes, InvalidUtf8 invalid);

std::string jsonString(std::string_view bytes, InvalidUtf8 invalid);

// Two hex digits per byte, no prefix.
std::string hexBytes(std::string_view bytes, bool upperCase);
