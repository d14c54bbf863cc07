#include "sql/system_procedures.h"

#include "tds/tds_constants.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"
#include "utf_codec.h"

#include <algorithm>

namespace sql {

namespace {

constexpr std::uint16_t kExecuteSql = 10, kPrepare = 11, kExecute = 12, kPrepExec = 13, kUnprepare = 15;
constexpr std::int32_t kNotSupported = 50000;
constexpr std::int32_t kNoSuchPrepared = 8179;
constexpr std::int32_t kNotSupplied = 8178;

std::optional<std::int64_t> intOf(const tds::RpcParameter& p) {
  if (!p.value) return std::nullopt;
  const size_t n = p.value->size();
  const bool intType = p.wireType == tds::kTypeIntN || p.wireType == tds::kTypeInt4 || p.wireType == tds::kTypeInt2 ||
                       p.wireType == tds::kTypeInt1 || p.wireType == tds::kTypeInt8;
  if (!intType || (n != 1 && n != 2 && n != 4 && n != 8)) return std::nullopt;
  std::uint64_t value = 0;
  for (size_t i = n; i-- > 0;) value = (value << 8) | static_cast<unsigned char>((*p.value)[i]);
  if (n > 1 && n < 8 && ((value >> (8 * n - 1)) & 1)) value |= ~0ull << (8 * n);
  return static_cast<std::int64_t>(value);
}

SystemCall refused(std::int32_t number, std::string text) {
  SystemCall call;
  call.refusal = SystemCall::Refusal{number, std::move(text)};
  return call;
}

// A kept statement's handle from the request's first value.
const PreparedStatement* preparedOf(const tds::RpcRequest& request, SqlSession& session,
                                    std::optional<std::int64_t>& handle) {
  handle = request.parameters.empty() ? std::nullopt : intOf(request.parameters[0]);
  if (!handle || *handle < INT32_MIN || *handle > INT32_MAX) return nullptr;
  return session.state.prepared.find(static_cast<std::int32_t>(*handle));
}

std::string noSuchHandle(const std::optional<std::int64_t>& handle) {
  return "Could not find prepared statement with handle " + (handle ? std::to_string(*handle) : std::string("NULL")) +
         ".";
}

// The values bound to every declared variable a statement reads; else the
// refusal a server gives.
std::optional<SystemCall::Refusal> bindDeclared(const tsql::Declarations& declared, const std::string& text,
                                                const tds::RpcRequest& request, size_t first, SqlSession& session,
                                                Variables& out) {
  const std::string fault = bindValues(declared, request.parameters, first, *session.server.text, out);
  if (!fault.empty()) return SystemCall::Refusal{kNotSupported, fault};
  for (const tsql::Declaration& d : declared.variables)
    if (!d.output && !out.count(d.name))
      return SystemCall::Refusal{kNotSupplied, "The parameterized query '" + text + "' expects the parameter '" +
                                                   d.name + "', which was not supplied."};
  return std::nullopt;
}

// A statement and its declarations, read: the declarations' own errors are
// the batch's.
PreparedStatement readStatement(const std::string& declarations, const std::string& statement) {
  PreparedStatement prepared;
  prepared.text = "(" + declarations + ")" + statement;
  prepared.declarations = tsql::parseDeclarations(declarations);
  if (prepared.declarations.error) {
    prepared.batch.error = prepared.declarations.error;
    return prepared;
  }
  prepared.batch = tsql::parseBatch(statement, Catalog::instance(), &prepared.declarations);
  return prepared;
}

SystemCall executeSql(const tds::RpcRequest& request, SqlSession& session) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  std::optional<std::string> statement = all.empty() ? std::nullopt : textOf(all[0], *session.server.text);
  if (!statement) return refused(kNotSupported, "sp_executesql needs its statement as text.");
  std::string declarations;
  size_t firstValue = 1;
  if (all.size() > 1 && (all[1].name.empty() || tsql::lowered(all[1].name) == "@params")) {
    declarations = textOf(all[1], *session.server.text).value_or(std::string());
    firstValue = 2;
  }
  PreparedStatement read = readStatement(declarations, *statement);
  SystemCall call;
  if (!read.batch.error) {
    if (auto refusal = bindDeclared(read.declarations, read.text, request, firstValue, session, call.variables))
      return refused(refusal->number, refusal->text);
  }
  call.ownBatch = std::move(read.batch);
  call.run = true;
  return call;
}

SystemCall prepare(const tds::RpcRequest& request, SqlSession& session, bool execute) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  const char* name = execute ? "sp_prepexec" : "sp_prepare";
  std::optional<std::string> statement = all.size() > 2 ? textOf(all[2], *session.server.text) : std::nullopt;
  if (!statement)
    return refused(kNotSupported, std::string(name) + " needs a handle, the parameters' declarations and a statement.");
  PreparedStatement read = readStatement(textOf(all[1], *session.server.text).value_or(std::string()), *statement);
  SystemCall call;
  if (read.batch.error) {
    // Nothing is kept from a statement that cannot be read.
    call.ownBatch = std::move(read.batch);
    return call;
  }
  if (execute)
    if (auto refusal = bindDeclared(read.declarations, read.text, request, 3, session, call.variables))
      return refused(refusal->number, refusal->text);
  std::optional<std::int32_t> handle = session.state.prepared.add(std::move(read));
  if (!handle)
    return refused(kNotSupported, "This connection holds " + std::to_string(PreparedStatements::kLimit) +
                                      " prepared statements, as many as it may; unprepare one first.");
  call.outputs.push_back(tds::IntOutput{0, unicode::utf8ToUtf16(all[0].name), *handle});
  call.keptBatch = &session.state.prepared.find(*handle)->batch;
  call.run = execute;
  return call;
}

SystemCall execute(const tds::RpcRequest& request, SqlSession& session) {
  std::optional<std::int64_t> handle;
  const PreparedStatement* prepared = preparedOf(request, session, handle);
  if (!prepared) return refused(kNoSuchPrepared, noSuchHandle(handle));
  SystemCall call;
  if (auto refusal = bindDeclared(prepared->declarations, prepared->text, request, 1, session, call.variables))
    return refused(refusal->number, refusal->text);
  call.keptBatch = &prepared->batch;
  call.run = true;
  return call;
}

SystemCall unprepare(const tds::RpcRequest& request, SqlSession& session) {
  std::optional<std::int64_t> handle;
  if (!preparedOf(request, session, handle) || !session.state.prepared.remove(static_cast<std::int32_t>(*handle)))
    return refused(kNoSuchPrepared, noSuchHandle(handle));
  return SystemCall{};
}

}  // namespace

SystemCall systemCall(std::uint16_t number, const tds::RpcRequest& request, SqlSession& session) {
  switch (number) {
    case kExecuteSql: return executeSql(request, session);
    case kPrepare: return prepare(request, session, false);
    case kPrepExec: return prepare(request, session, true);
    case kExecute: return execute(request, session);
    case kUnprepare: return unprepare(request, session);
    default: break;
  }
  return refused(2812, "Could not find stored procedure '" +
                           std::string(Catalog::instance().systemProcedure(number)
                                           ? Catalog::instance().systemProcedure(number)->name
                                           : "procedure number " + std::to_string(number)) +
                           "'.");
}

}  // namespace sql
