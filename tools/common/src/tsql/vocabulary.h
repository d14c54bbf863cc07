// What the grammar asks of the names a host knows: which @@ variables and
// functions exist (an unknown one is an error of the whole batch, as on a
// server), how many arguments a function takes, and the types CAST and
// CONVERT reach. A host's catalog answers.
#pragma once

#include <optional>
#include <string_view>

namespace tsql {

class Vocabulary {
 public:
  virtual ~Vocabulary() = default;

  struct Arity {
    unsigned least = 0, most = 0;
  };
  // Names are in lower case, without @@.
  virtual bool knowsGlobal(std::string_view name) const = 0;
  virtual std::optional<Arity> function(std::string_view name) const = 0;
  virtual bool knowsType(std::string_view name) const = 0;
};

}  // namespace tsql
