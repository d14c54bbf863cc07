#include "sql/call_parameters.h"

#include "tds/tds_constants.h"
#include "tsql/lexer.h"
#include "utf8.h"

namespace {

bool isUtf16Type(std::uint8_t type) {
  return type == tds::kTypeNVarChar || type == tds::kTypeNChar || type == tds::kTypeNText;
}

bool isCharType(std::uint8_t type) {
  return type == tds::kTypeBigVarChar || type == tds::kTypeBigChar || type == tds::kTypeText ||
         type == tds::kTypeVarChar || type == tds::kTypeChar;
}

// UTF-16 text as the procedure gets it: the code page's text when nothing
// is lost on the way and it fits a varchar, else as it came.
HostParameter fromUtf16(std::uint8_t wireType, std::optional<std::string> utf16le, const CodePageText& text) {
  const bool fixed = wireType == tds::kTypeNChar;
  HostParameter host;
  host.type = fixed ? SRVBIGCHAR : SRVBIGVARCHAR;
  if (!utf16le) return host;  // NULL of a text type: NULL of the code page's
  if (utf16le->size() % 2 == 0) {
    const std::u16string wide = fromUtf16le(*utf16le);
    std::string narrow = text.fromUtf16(wide);
    if (narrow.size() <= 8000 && text.toUtf16(narrow) == wide) {
      host.value = std::move(narrow);
      return host;
    }
  }
  host.type = wireType;
  host.value = std::move(utf16le);
  return host;
}

}  // namespace

BYTE procedureTypeOf(std::uint8_t wireType) {
  switch (wireType) {
    case tds::kTypeBigVarChar:
    case tds::kTypeVarChar: return SRVBIGVARCHAR;
    case tds::kTypeBigChar:
    case tds::kTypeChar: return SRVBIGCHAR;
    default: return wireType;
  }
}

HostParameter hostParameterOf(const tds::RpcParameter& parameter, const CodePageText& text) {
  HostParameter host;
  if (parameter.wireType == tds::kTypeNVarChar || parameter.wireType == tds::kTypeNChar)
    host = fromUtf16(parameter.wireType, parameter.value, text);
  else
    host = HostParameter{std::nullopt, procedureTypeOf(parameter.wireType), parameter.value};
  if (!parameter.name.empty()) host.name = parameter.name;
  return host;
}

CallParameters parametersOfRpc(const tds::RpcRequest& request, const CodePageText& text) {
  CallParameters call;
  bool namedSeen = false;
  for (const tds::RpcParameter& p : request.parameters) {
    if (p.name.empty() && namedSeen) {
      call.error = "A positional parameter cannot follow a named one.";
      call.parameters.clear();
      return call;
    }
    namedSeen = namedSeen || !p.name.empty();
    call.parameters.push_back(hostParameterOf(p, text));
  }
  return call;
}

std::optional<std::string> textOf(const tds::RpcParameter& parameter, const CodePageText& text) {
  if (!parameter.value) return std::nullopt;
  if (isUtf16Type(parameter.wireType)) return utf16leToUtf8(*parameter.value);
  if (isCharType(parameter.wireType)) return unicode::utf16ToUtf8(text.toUtf16(*parameter.value));
  return std::nullopt;
}

std::string bindValues(const tsql::Declarations& declared, const std::vector<tds::RpcParameter>& all, size_t first,
                       const CodePageText& text, Variables& out) {
  for (size_t i = first; i < all.size(); ++i) {
    const size_t position = i - first;
    const std::string name = !all[i].name.empty()                   ? tsql::lowered(all[i].name)
                             : position < declared.variables.size() ? declared.variables[position].name
                                                                    : std::string();
    if (name.empty()) return "The statement got more values than it declares.";
    HostParameter value = hostParameterOf(all[i], text);
    value.name.reset();
    out[name] = std::move(value);
  }
  return std::string();
}

tsql::BindingRules execBindingRules(const CodePageText& text, const Variables* variables) {
  tsql::BindingRules rules;
  rules.nullType = SRVBIGVARCHAR;
  rules.literal = [&text](const tsql::ExecValue& value, HostParameter& out, std::string& reason) {
    if (value.kind == tsql::ExecValue::Kind::Text) {
      out = HostParameter{std::nullopt, SRVBIGVARCHAR, text.fromUtf8(value.text)};
      return true;
    }
    std::string utf16;
    if (!utf8ToUtf16le(value.text, utf16)) {  // a batch arrives as UTF-8: never
      reason = "N'...' holds text that is not UTF-8";
      return false;
    }
    out = fromUtf16(tds::kTypeNVarChar, std::move(utf16), text);
    return true;
  };
  if (variables)
    rules.variable = [variables](std::string_view name) -> std::optional<HostParameter> {
      auto found = variables->find(std::string(name));
      if (found == variables->end()) return std::nullopt;
      return found->second;
    };
  return rules;
}
