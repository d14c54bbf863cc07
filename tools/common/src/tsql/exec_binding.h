// An EXEC's values as the procedure's parameters, by one rule for every
// host: positional values first, then @name = value; text, N'text' and NULL
// are values; numbers, bare words and OUTPUT are refused with a reason. How
// a literal becomes bytes, and what a variable stands for, is the host's.
#pragma once

#include "host_parameter.h"
#include "tsql/statements.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tsql {

struct BindingRules {
  // The parameter of a 'text' or N'text' value (its name is set after);
  // false with a reason when it cannot be one.
  std::function<bool(const ExecValue& literal, HostParameter& out, std::string& reason)> literal;
  // The parameter a variable stands for; an empty function: variables are
  // not values here (write @name = value).
  std::function<std::optional<HostParameter>(std::string_view name)> variable;
  std::uint8_t nullType = 0x27;  // the type NULL is handed over as
};

struct BindingError {
  Place place;
  std::string reason;  // "numbers are not accepted; quote the value as '...'"
};

struct BoundParameters {
  std::vector<HostParameter> parameters;
  std::optional<BindingError> error;  // then no parameters
};

BoundParameters bindExecValues(const std::vector<ExecValue>& values, const BindingRules& rules);

}  // namespace tsql
