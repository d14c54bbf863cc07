// The RPC side of the statement runner: the procedure called by name,
// sp_executesql, the prepared statement procedures, and transaction-manager
// requests.
#include "sql/statement_runner.h"

#include "tds/constant_result.h"
#include "tds/tds_constants.h"
#include "tds/transaction_request.h"
#include "utf_codec.h"

namespace {

constexpr std::int32_t kSaveWithoutTransaction = 628;
constexpr std::int32_t kNoSuchPrepared = 8179;

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

}  // namespace

bool StatementRunner::runRpc(const tds::RpcRequest& request) {
  writer_.clear();
  lastDoneAt_ = SIZE_MAX;
  switch (systemProcedureOf(request)) {
    case kExecuteSql: return runExecuteSql(request);
    case kPrepare: return runPrepare(request, false);
    case kPrepExec: return runPrepare(request, true);
    case kExecute: return runExecute(request);
    case kUnprepare: return runUnprepare(request);
    case 0:
      if (namesTheProcedure(request.procedureName)) return runTheProcedure(request);
      sendError(kNoSuchProcedure, 16, "Could not find stored procedure '" + request.procedureName + "'.");
      return true;
    default:
      sendError(kNoSuchProcedure, 16,
                "Could not find stored procedure '" + systemProcedureName(*request.procId) + "'.");
      return true;
  }
}

bool StatementRunner::runTheProcedure(const tds::RpcRequest& request) {
  CallParameters call = parametersOfRpc(request, *context_.text);
  if (!call.error.empty()) {
    sendError(kNotSupported, 16, call.error);
    return true;
  }
  int returnValue = 0;
  bool hadError = false;
  if (!callProcedure(call.parameters, returnValue, hadError)) return !clientMisbehaved_;
  endProcedure(returnValue, hadError, nullptr);
  sendAnswer();
  return true;
}

bool StatementRunner::runProcedureStatements(const sql::Batch& batch, const VariableLookup& variables,
                                             const std::function<void()>& outputs) {
  int returnValue = 0;
  bool hadError = false;
  if (batch.error) {
    writeError(batch.error->number, batch.error->severity, batch.error->message);
    hadError = true;
  } else if (!runStatements(batch.statements, Place::Procedure, variables, returnValue, hadError)) {
    return !clientMisbehaved_;
  }
  endProcedure(returnValue, hadError, outputs);
  sendAnswer();
  return true;
}

StatementRunner::VariableLookup StatementRunner::lookupIn(const Variables& values) {
  return [&values](std::string_view name) -> std::optional<HostParameter> {
    auto found = values.find(sql::lowered(name));
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

bool StatementRunner::runExecuteSql(const tds::RpcRequest& request) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  std::optional<std::string> statement = all.empty() ? std::nullopt : textOf(all[0], *context_.text);
  if (!statement) {
    sendError(kNotSupported, 16, "sp_executesql needs its statement as text.");
    return true;
  }
  std::vector<std::string> declared;
  size_t firstValue = 1;
  if (all.size() > 1 && (all[1].name.empty() || all[1].name == "@params" || all[1].name == "@PARAMS")) {
    if (std::optional<std::string> declarations = textOf(all[1], *context_.text))
      declared = declaredNames(*declarations);
    firstValue = 2;
  }
  Variables values;
  const std::string fault = bindValues(declared, all, firstValue, *context_.text, values);
  if (!fault.empty()) {
    sendError(kNotSupported, 16, fault);
    return true;
  }
  return runProcedureStatements(sql::parseBatch(*statement), lookupIn(values), nullptr);
}

bool StatementRunner::runPrepare(const tds::RpcRequest& request, bool execute) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  const char* name = execute ? "sp_prepexec" : "sp_prepare";
  std::optional<std::string> statement = all.size() > 2 ? textOf(all[2], *context_.text) : std::nullopt;
  if (!statement) {
    sendError(kNotSupported, 16, std::string(name) + " needs a handle, the parameters' declarations and a statement.");
    return true;
  }
  PreparedStatement prepared;
  if (std::optional<std::string> declarations = textOf(all[1], *context_.text))
    prepared.declared = declaredNames(*declarations);
  prepared.batch = sql::parseBatch(*statement);
  if (prepared.batch.error) {
    // Nothing is prepared from a statement that cannot be read.
    writeError(prepared.batch.error->number, prepared.batch.error->severity, prepared.batch.error->message);
    writer_.done(tds::kDoneProc, tds::kDoneError, 0, 0);
    sendAnswer();
    return true;
  }
  Variables values;
  if (execute) {
    const std::string fault = bindValues(prepared.declared, all, 3, *context_.text, values);
    if (!fault.empty()) {
      sendError(kNotSupported, 16, fault);
      return true;
    }
  }
  const sql::Batch batch = prepared.batch;
  std::optional<std::int32_t> handle = state_.prepared.add(std::move(prepared));
  if (!handle) {
    sendError(kNotSupported, 16,
              "This connection holds " + std::to_string(PreparedStatements::kLimit) +
                  " prepared statements, as many as it may; unprepare one first.");
    return true;
  }
  const std::u16string handleName = unicode::utf8ToUtf16(all[0].name);
  auto outputs = [this, handle, &handleName] { tds::writeIntReturnValue(writer_, 0, handleName, *handle); };
  if (!execute) {
    endProcedure(0, false, outputs);
    sendAnswer();
    return true;
  }
  return runProcedureStatements(batch, lookupIn(values), outputs);
}

bool StatementRunner::runExecute(const tds::RpcRequest& request) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  std::optional<std::int64_t> handle = all.empty() ? std::nullopt : intOf(all[0]);
  const PreparedStatement* prepared = handle && *handle >= INT32_MIN && *handle <= INT32_MAX
                                          ? state_.prepared.find(static_cast<std::int32_t>(*handle))
                                          : nullptr;
  if (!prepared) {
    sendError(kNoSuchPrepared, 16,
              "Could not find prepared statement with handle " +
                  (handle ? std::to_string(*handle) : std::string("NULL")) + ".");
    return true;
  }
  Variables values;
  const std::string fault = bindValues(prepared->declared, all, 1, *context_.text, values);
  if (!fault.empty()) {
    sendError(kNotSupported, 16, fault);
    return true;
  }
  return runProcedureStatements(prepared->batch, lookupIn(values), nullptr);
}

bool StatementRunner::runUnprepare(const tds::RpcRequest& request) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  std::optional<std::int64_t> handle = all.empty() ? std::nullopt : intOf(all[0]);
  if (!handle || *handle < INT32_MIN || *handle > INT32_MAX ||
      !state_.prepared.remove(static_cast<std::int32_t>(*handle))) {
    sendError(kNoSuchPrepared, 16,
              "Could not find prepared statement with handle " +
                  (handle ? std::to_string(*handle) : std::string("NULL")) + ".");
    return true;
  }
  endProcedure(0, false, nullptr);
  sendAnswer();
  return true;
}

bool StatementRunner::runTransactionRequest(std::string_view payload) {
  writer_.clear();
  lastDoneAt_ = SIZE_MAX;
  tds::TransactionRequest request;
  try {
    request = tds::parseTransactionRequest(payload, version_);
  } catch (const tds::ProtocolError& e) {
    sendError(kNotSupported, 16, std::string("The transaction request cannot be read: ") + e.what() + ".");
    return true;
  }
  bool ok = true;
  switch (request.kind) {
    case tds::TransactionRequest::Kind::Begin: beginTransaction(); break;
    case tds::TransactionRequest::Kind::Commit:
    case tds::TransactionRequest::Kind::Rollback:
      ok = endTransaction(request.kind == tds::TransactionRequest::Kind::Commit);
      if (ok && request.beginAfter) beginTransaction();
      break;
    case tds::TransactionRequest::Kind::Save:
      if (state_.tranCount == 0) {
        writeError(kSaveWithoutTransaction, 16, "Cannot issue SAVE TRANSACTION when there is no active transaction.");
        ok = false;
      }
      break;
    case tds::TransactionRequest::Kind::Other:
      writeError(kNotSupported, 16,
                 "Transaction requests of type " + std::to_string(request.type) +
                     " (distributed transactions) are not served: this server holds no transactions.");
      ok = false;
      break;
  }
  writer_.done(tds::kDone, ok ? 0 : tds::kDoneError, 0, 0);
  sendAnswer();
  return true;
}
