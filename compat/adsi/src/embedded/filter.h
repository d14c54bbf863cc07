// Search filters (RFC 4515): the parsed form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace adsi {

enum class FilterKind {
  And,
  Or,
  Not,
  Equality,
  Substrings,
  GreaterOrEqual,
  LessOrEqual,
  Present,
  Approx,
  Extensible,
};

struct FilterNode {
  FilterKind kind = FilterKind::Present;
  std::vector<FilterNode> children;  // And, Or, Not
  std::string attribute;             // may be empty for an extensible match
  std::string value;                 // the assertion, escapes resolved
  // Substrings: value*any*...*final; the flags tell an empty piece from none.
  bool hasInitial = false, hasFinal = false;
  std::string initial, final;
  std::vector<std::string> any;
  // Extensible: attr[:dn][:rule]:=value
  std::string rule;
  bool dnAttributes = false;
};

// Parses a filter; false with a reason when it is not one. A filter without
// surrounding parentheses ("objectClass=user") is accepted, as ADSI does.
bool parseFilter(std::string_view text, FilterNode& out, std::string& reason);

}  // namespace adsi
