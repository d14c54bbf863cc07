#include "tsql/exec_binding.h"

namespace tsql {

namespace {

struct Refusal {
  BindingError error;
};

[[noreturn]] void refuse(Place place, std::string reason) { throw Refusal{BindingError{place, std::move(reason)}}; }

HostParameter valueOf(const ExecValue& v, const BindingRules& rules) {
  HostParameter parameter;
  std::string reason;
  switch (v.kind) {
    case ExecValue::Kind::Text:
    case ExecValue::Kind::NText:
      if (!rules.literal(v, parameter, reason)) refuse(v.place, reason);
      return parameter;
    case ExecValue::Kind::Null: parameter.type = rules.nullType; return parameter;
    case ExecValue::Kind::Number: refuse(v.place, "numbers are not accepted; quote the value as '...'");
    case ExecValue::Kind::Identifier:
      refuse(v.place, "expected a value ('text', N'text' or NULL), found '" + v.written + "'");
    case ExecValue::Kind::Variable: {
      if (!rules.variable) refuse(Place{v.end, v.place.line}, "expected '=' after " + v.written);
      std::optional<HostParameter> value = rules.variable(v.text);
      if (!value) refuse(v.place, "the variable " + v.written + " is not declared");
      return std::move(*value);
    }
  }
  refuse(v.place, "expected a value ('text', N'text' or NULL)");
}

}  // namespace

BoundParameters bindExecValues(const std::vector<ExecValue>& values, const BindingRules& rules) {
  BoundParameters bound;
  try {
    bool namedSeen = false;
    for (const ExecValue& v : values) {
      if (v.name && *v.name == "@") refuse(v.namePlace, "expected a parameter name after '@'");
      if (!v.name && namedSeen)
        refuse(v.place, "a positional value cannot follow a named one; write it as @name = value");
      if (v.output) refuse(v.place, "OUTPUT is not accepted: the procedure hands back nothing in its parameters");
      namedSeen = namedSeen || v.name.has_value();
      HostParameter parameter = valueOf(v, rules);
      parameter.name = v.name;
      bound.parameters.push_back(std::move(parameter));
    }
  } catch (const Refusal& refusal) {
    bound.parameters.clear();
    bound.error = refusal.error;
  }
  return bound;
}

}  // namespace tsql
