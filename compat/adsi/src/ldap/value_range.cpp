#include "ldap/value_range.h"

#include "text.h"

namespace adsi {
namespace {

bool parseIndex(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

RangeOption parseValueRange(std::string_view description, ValueRange& range) {
  range = ValueRange();
  size_t at = 0;
  for (;;) {
    size_t option = description.find(';', at);
    if (option == std::string_view::npos) return RangeOption::None;
    size_t end = description.find(';', option + 1);
    std::string_view text = description.substr(option + 1, end == std::string_view::npos ? end : end - option - 1);
    if (text.size() >= 6 && equalsIgnoreCase(text.substr(0, 6), "range=")) {
      std::string_view bounds = text.substr(6);
      size_t dash = bounds.find('-');
      if (dash == std::string_view::npos || !parseIndex(bounds.substr(0, dash), range.low))
        return RangeOption::Malformed;
      std::string_view high = bounds.substr(dash + 1);
      range.last = high == "*";
      if (!range.last && (!parseIndex(high, range.high) || range.high < range.low)) return RangeOption::Malformed;
      range.name = std::string(description.substr(0, option));
      if (end != std::string_view::npos) range.name += description.substr(end);
      return RangeOption::Valid;
    }
    at = option + 1;
  }
}

}  // namespace adsi
