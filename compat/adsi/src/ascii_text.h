// ASCII case handling for protocol words (attribute names, keywords), free of
// any platform header so that the schema reader builds on its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace adsi {

inline char lowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lowerAsciiChar(c);
  return out;
}

// ASCII case-insensitive equality, as attribute names compare.
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAsciiChar(a[i]) != lowerAsciiChar(b[i])) return false;
  return true;
}

}  // namespace adsi
