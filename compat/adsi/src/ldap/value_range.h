// The range option of an attribute description, as Active Directory names
// the part of an attribute's values it gives: "member;range=0-1499" (values
// 0 to 1499, more follow) or "member;range=1500-*" (the last ones).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace adsi {

struct ValueRange {
  std::string name;  // the attribute description without its range option
  uint64_t low = 0;
  uint64_t high = 0;  // the index of the last value given, when not `last`
  bool last = false;  // "*": no values after these
};

enum class RangeOption { None, Valid, Malformed };

// Whether an attribute description carries a range option, and which.
RangeOption parseValueRange(std::string_view description, ValueRange& range);

}  // namespace adsi
