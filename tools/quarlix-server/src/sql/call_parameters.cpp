#include "sql/call_parameters.h"

#include "exec_line.h"
#include "sql/statement_grammar.h"
#include "tds/tds_constants.h"
#include "utf8.h"

#include <cctype>

namespace {

bool isUtf16Type(std::uint8_t type) {
  return type == tds::kTypeNVarChar || type == tds::kTypeNChar || type == tds::kTypeNText;
}

bool isCharType(std::uint8_t type) {
  return type == tds::kTypeBigVarChar || type == tds::kTypeBigChar || type == tds::kTypeText ||
         type == tds::kTypeVarChar || type == tds::kTypeChar;
}

// A name without the prefixes that may name the same procedure.
std::string withoutPrefix(std::string name) {
  for (const char* prefix : {"master.sys.", "master.dbo.", "master..", "sys.", "dbo."})
    if (name.compare(0, std::char_traits<char>::length(prefix), prefix) == 0)
      return name.substr(std::char_traits<char>::length(prefix));
  return name;
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

bool namesTheProcedure(std::string_view name) {
  const std::string n = sql::lowered(name);
  return n == "quarlix" || n == "dbo.quarlix" || n == "master..quarlix" || n == "master.dbo.quarlix";
}

std::uint16_t systemProcedureOf(const tds::RpcRequest& request) {
  if (request.procId) return *request.procId;
  const std::string n = withoutPrefix(sql::lowered(request.procedureName));
  if (n == "sp_executesql") return kExecuteSql;
  if (n == "sp_prepare") return kPrepare;
  if (n == "sp_execute") return kExecute;
  if (n == "sp_prepexec") return kPrepExec;
  if (n == "sp_unprepare") return kUnprepare;
  return 0;
}

std::string systemProcedureName(std::uint16_t number) {
  static const char* const names[] = {"",
                                      "sp_cursor",
                                      "sp_cursoropen",
                                      "sp_cursorprepare",
                                      "sp_cursorexecute",
                                      "sp_cursorprepexec",
                                      "sp_cursorunprepare",
                                      "sp_cursorfetch",
                                      "sp_cursoroption",
                                      "sp_cursorclose",
                                      "sp_executesql",
                                      "sp_prepare",
                                      "sp_execute",
                                      "sp_prepexec",
                                      "sp_prepexecrpc",
                                      "sp_unprepare"};
  if (number >= 1 && number < sizeof names / sizeof names[0]) return names[number];
  return "procedure number " + std::to_string(number);
}

HostParameter hostParameterOf(const tds::RpcParameter& parameter, const CodePageText& text) {
  HostParameter host;
  if (!parameter.name.empty()) host.name = parameter.name;
  host.type = procedureTypeOf(parameter.wireType);
  host.value = parameter.value;
  // Text in UTF-16 is what most drivers send for a string: it reaches the
  // procedure as the code page's text when nothing is lost on the way.
  if ((parameter.wireType == tds::kTypeNVarChar || parameter.wireType == tds::kTypeNChar) && parameter.value &&
      parameter.value->size() % 2 == 0) {
    const std::u16string wide = fromUtf16le(*parameter.value);
    std::string narrow = text.fromUtf16(wide);
    if (narrow.size() <= 8000 && text.toUtf16(narrow) == wide) {
      host.type = parameter.wireType == tds::kTypeNVarChar ? SRVBIGVARCHAR : SRVBIGCHAR;
      host.value = std::move(narrow);
    }
  }
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

std::vector<std::string> declaredNames(std::string_view declarations) {
  std::vector<std::string> names;
  int depth = 0;
  bool expectName = true;
  for (size_t i = 0; i < declarations.size(); ++i) {
    char c = declarations[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) expectName = true;
    if (c == '@' && expectName) {
      size_t end = i + 1;
      while (end < declarations.size() &&
             (std::isalnum(static_cast<unsigned char>(declarations[end])) || declarations[end] == '_' ||
              declarations[end] == '@' || declarations[end] == '#' || declarations[end] == '$'))
        ++end;
      names.push_back(sql::lowered(declarations.substr(i, end - i)));
      expectName = false;
      i = end - 1;
    }
  }
  return names;
}

std::string bindValues(const std::vector<std::string>& declared, const std::vector<tds::RpcParameter>& all,
                       size_t first, const CodePageText& text, Variables& out) {
  for (size_t i = first; i < all.size(); ++i) {
    const size_t position = i - first;
    std::string name = !all[i].name.empty()         ? sql::lowered(all[i].name)
                       : position < declared.size() ? declared[position]
                                                    : std::string();
    if (name.empty()) return "The statement got more values than it declares.";
    HostParameter value = hostParameterOf(all[i], text);
    value.name.reset();
    out[name] = std::move(value);
  }
  return std::string();
}

CallParameters parametersOfExec(std::string_view argumentsUtf8, const CodePageText& text,
                                const std::function<std::optional<HostParameter>(std::string_view)>& variable) {
  CallParameters call;
  ExecLineContext context;
  context.varcharLiteral = [&text](std::string_view literal) { return text.fromUtf8(literal); };
  context.variable = variable;
  ParsedExecLine parsed = parseExecLine("quarlix " + std::string(argumentsUtf8), context);
  if (parsed.error) {
    call.error = "Incorrect EXEC statement: " + parsed.error->reason + ".";
    return call;
  }
  for (HostParameter& p : parsed.parameters)
    if (p.type == SRVVARCHAR) p.type = procedureTypeOf(tds::kTypeBigVarChar);
  call.parameters = std::move(parsed.parameters);
  return call;
}
