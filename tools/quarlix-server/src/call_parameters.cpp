#include "call_parameters.h"

#include "batch_statement.h"
#include "exec_line.h"
#include "tds_constants.h"
#include "utf8.h"

#include <cctype>
#include <map>

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isUtf16Type(std::uint8_t type) {
  return type == tds::kTypeNVarChar || type == tds::kTypeNChar || type == tds::kTypeNText;
}

bool isCharType(std::uint8_t type) {
  return type == tds::kTypeBigVarChar || type == tds::kTypeBigChar || type == tds::kTypeText ||
         type == tds::kTypeVarChar || type == tds::kTypeChar;
}

// Text of a statement or declaration value as UTF-8.
std::optional<std::string> textOf(const tds::RpcParameter &parameter, const CodePageText &text) {
  if (!parameter.value) return std::nullopt;
  if (isUtf16Type(parameter.wireType)) return utf16leToUtf8(*parameter.value);
  if (isCharType(parameter.wireType)) return utf16leToUtf8(text.toUtf16(*parameter.value));
  return std::nullopt;
}

// "@a varchar(10), @b nvarchar(4000) OUTPUT" -> {"@a", "@b"}.
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
      while (end < declarations.size() && (std::isalnum(static_cast<unsigned char>(declarations[end])) ||
                                           declarations[end] == '_' || declarations[end] == '@' || declarations[end] == '#' ||
                                           declarations[end] == '$'))
        ++end;
      names.emplace_back(declarations.substr(i, end - i));
      expectName = false;
      i = end - 1;
    }
  }
  return names;
}

HostParameter hostParameterOf(const tds::RpcParameter &parameter) {
  HostParameter host;
  if (!parameter.name.empty()) host.name = parameter.name;
  host.type = procedureTypeOf(parameter.wireType);
  host.value = parameter.value;
  return host;
}

CallParameters parseStatement(std::string_view utf8, const ExecLineContext &context) {
  CallParameters call;
  if (classifyBatch(utf8) != BatchKind::Exec) {
    call.error = "This server runs only EXEC quarlix ... (and SET, USE master, SELECT @@VERSION).";
    return call;
  }
  ParsedExecLine parsed = parseExecLine(utf8, context);
  if (parsed.error) {
    call.error = "Incorrect EXEC statement, " + describe(*parsed.error) + ".";
    return call;
  }
  for (HostParameter &p : parsed.parameters)
    if (p.type == SRVVARCHAR) p.type = procedureTypeOf(tds::kTypeBigVarChar);
  call.parameters = std::move(parsed.parameters);
  return call;
}

}  // namespace

BYTE procedureTypeOf(std::uint8_t wireType) {
  switch (wireType) {
    case tds::kTypeBigVarChar:
    case tds::kTypeVarChar:
      return SRVBIGVARCHAR;
    case tds::kTypeBigChar:
    case tds::kTypeChar:
      return SRVBIGCHAR;
    default:
      return wireType;
  }
}

bool namesTheProcedure(std::string_view name) {
  const std::string n = lowered(name);
  return n == "quarlix" || n == "master..quarlix" || n == "master.dbo.quarlix";
}

bool namesExecuteSql(const tds::RpcRequest &request) {
  if (request.procId) return *request.procId == tds::kProcIdExecuteSql;
  const std::string n = lowered(request.procedureName);
  return n == "sp_executesql" || n == "sys.sp_executesql" || n == "master..sp_executesql" || n == "master.sys.sp_executesql";
}

CallParameters parametersOfRpc(const tds::RpcRequest &request) {
  CallParameters call;
  bool namedSeen = false;
  for (const tds::RpcParameter &p : request.parameters) {
    if (p.name.empty() && namedSeen) {
      call.error = "A positional parameter cannot follow a named one.";
      call.parameters.clear();
      return call;
    }
    namedSeen = namedSeen || !p.name.empty();
    call.parameters.push_back(hostParameterOf(p));
  }
  return call;
}

CallParameters parametersOfBatch(std::string_view utf8, const CodePageText &text) {
  ExecLineContext context;
  context.varcharLiteral = [&text](std::string_view literal) { return text.fromUtf8(literal); };
  return parseStatement(utf8, context);
}

CallParameters parametersOfExecuteSql(const tds::RpcRequest &request, const CodePageText &text) {
  CallParameters call;
  const std::vector<tds::RpcParameter> &all = request.parameters;
  std::optional<std::string> statement = all.empty() ? std::nullopt : textOf(all[0], text);
  if (!statement) {
    call.error = "sp_executesql needs its statement as text.";
    return call;
  }
  std::vector<std::string> declared;
  size_t firstValue = 1;
  if (all.size() > 1 && (all[1].name.empty() || lowered(all[1].name) == "@params")) {
    std::optional<std::string> declarations = textOf(all[1], text);
    if (declarations) declared = declaredNames(*declarations);
    firstValue = 2;
  }
  std::map<std::string, HostParameter> variables;
  for (size_t i = firstValue; i < all.size(); ++i) {
    const size_t position = i - firstValue;
    std::string name = !all[i].name.empty() ? all[i].name : position < declared.size() ? declared[position] : std::string();
    if (name.empty()) {
      call.error = "sp_executesql got more values than it declares.";
      return call;
    }
    HostParameter value = hostParameterOf(all[i]);
    value.name.reset();
    variables[lowered(name)] = std::move(value);
  }
  ExecLineContext context;
  context.varcharLiteral = [&text](std::string_view literal) { return text.fromUtf8(literal); };
  context.variable = [&variables](std::string_view name) -> std::optional<HostParameter> {
    auto found = variables.find(lowered(name));
    if (found == variables.end()) return std::nullopt;
    return found->second;
  };
  return parseStatement(*statement, context);
}
