#include "sql/statement_runner.h"

#include "tds/constant_result.h"
#include "sql/probe_values.h"
#include "answer/procedure_answer.h"
#include "tds/tds_constants.h"
#include "utf_codec.h"

namespace {

constexpr std::int32_t kNoSuchDatabase = 911;
constexpr std::int32_t kDatabaseChanged = 5701;
constexpr std::int32_t kCommitWithoutBegin = 3902;
constexpr std::int32_t kRollbackWithoutBegin = 3903;
constexpr std::uint16_t kSelectCommand = 0xC1;  // the DONE of a SELECT names it

std::string descriptor(std::uint64_t id) {
  std::string bytes;
  for (int i = 0; i < 8; ++i) bytes += static_cast<char>(id >> (8 * i));
  return bytes;
}

bool compare(std::int64_t left, const std::string& op, std::int64_t right) {
  if (op == "=") return left == right;
  if (op == "<>" || op == "!=") return left != right;
  if (op == ">") return left > right;
  if (op == ">=" || op == "!<") return left >= right;
  if (op == "<") return left < right;
  return left <= right;  // "<=", "!>"
}

}  // namespace

StatementRunner::StatementRunner(tds::PacketChannel& channel, const ServerContext& context, std::uint32_t version,
                                 std::uint16_t spid, std::string user)
    : channel_(channel),
      context_(context),
      version_(version),
      spid_(spid),
      user_(std::move(user)),
      serverName_(unicode::utf8ToUtf16(context.serverName)),
      writer_(version) {}

// ---- writing ---------------------------------------------------------------

void StatementRunner::writeError(std::int32_t number, std::uint8_t severity, const std::string& utf8,
                                 std::uint32_t line) {
  tds::MessageToken message;
  message.kind = severity > 10 ? tds::MessageToken::Class::error : tds::MessageToken::Class::info;
  message.number = number;
  message.severity = severity;
  message.text = unicode::utf8ToUtf16(utf8);
  message.server = serverName_;
  message.line = line;
  writer_.message(message);
}

void StatementRunner::writeStatementDone(Place place, std::uint16_t status, std::uint64_t count,
                                         std::uint16_t command) {
  if (place == Place::Batch) {
    lastDoneAt_ = writer_.bytes().size();
    writer_.done(tds::kDone, status | tds::kDoneMore, command, count);
  } else {
    writer_.done(tds::kDoneInProc, status | tds::kDoneMore, command, count);
  }
}

void StatementRunner::endProcedure(int returnValue, bool hadError, const std::function<void()>& outputs) {
  writer_.returnStatus(returnValue);
  if (outputs) outputs();
  writer_.done(tds::kDoneProc, hadError ? tds::kDoneError : 0, 0, 0);
}

void StatementRunner::sendAnswer() {
  channel_.sendPart(tds::kTabularResult, writer_.bytes(), true);
  writer_.clear();
  lastDoneAt_ = SIZE_MAX;
}

void StatementRunner::sendError(std::int32_t number, std::uint8_t severity, const std::string& utf8) {
  writer_.clear();
  writeError(number, severity, utf8);
  writer_.done(tds::kDone, tds::kDoneError, 0, 0);
  sendAnswer();
}

// ---- batches and statements ------------------------------------------------

bool StatementRunner::runBatch(const std::string& utf8) {
  writer_.clear();
  lastDoneAt_ = SIZE_MAX;
  const sql::Batch batch = sql::parseBatch(utf8);
  if (batch.error) {
    sendError(batch.error->number, batch.error->severity, batch.error->message);
    return true;
  }
  int returnValue = 0;
  bool hadError = false;
  if (!runStatements(batch.statements, Place::Batch, VariableLookup(), returnValue, hadError))
    return !clientMisbehaved_;
  // The last statement's DONE ends the answer; else a DONE of its own does.
  const size_t doneSize = tds::atLeast72(version_) ? 13 : 9;
  if (lastDoneAt_ != SIZE_MAX && lastDoneAt_ + doneSize == writer_.bytes().size())
    writer_.bytes()[lastDoneAt_ + 1] = static_cast<char>(writer_.bytes()[lastDoneAt_ + 1] & ~tds::kDoneMore);
  else
    writer_.done(tds::kDone, 0, 0, 0);
  sendAnswer();
  return true;
}

bool StatementRunner::runStatements(const std::vector<sql::Statement>& statements, Place place,
                                    const VariableLookup& variables, int& returnValue, bool& hadError) {
  for (const sql::Statement& statement : statements)
    if (!runStatement(statement, place, variables, returnValue, hadError)) return false;
  return true;
}

bool StatementRunner::runStatement(const sql::Statement& s, Place place, const VariableLookup& variables,
                                   int& returnValue, bool& hadError) {
  using Kind = sql::Statement::Kind;
  switch (s.kind) {
    case Kind::Exec: return runExec(s, place, variables, returnValue, hadError);
    case Kind::Set: runSet(s); return true;
    case Kind::Use:
      if (sql::lowered(s.database) == "master") {
        writer_.envChange(tds::kEnvDatabase, u"master", u"master");
        writeError(kDatabaseChanged, 0, "Changed database context to 'master'.");
      } else {
        writeError(kNoSuchDatabase, 16,
                   "Database '" + s.database + "' does not exist. Make sure that the name is entered correctly.");
        writeStatementDone(place, tds::kDoneError, 0);
        hadError = true;
      }
      return true;
    case Kind::BeginTransaction: beginTransaction(); return true;
    case Kind::Commit:
    case Kind::Rollback:
      if (!endTransaction(s.kind == Kind::Commit)) {
        writeStatementDone(place, tds::kDoneError, 0);
        hadError = true;
      }
      return true;
    case Kind::If: {
      ProbeContext probe{context_.text, context_.serverName, context_.version, std::string(), user_,
                         spid_,         state_.tranCount,    state_.textSize};
      try {
        tds::ConstantValue left = probeValue(s.left, probe), right = probeValue(s.right, probe);
        if (left.type != tds::ConstantValue::Type::Int || right.type != tds::ConstantValue::Type::Int)
          throw ProbeError("This server compares whole numbers only.");
        if (left.number && right.number && compare(*left.number, s.comparison, *right.number))
          return runStatements(s.body, place, variables, returnValue, hadError);
      } catch (const ProbeError& e) {
        writeError(kNotSupported, 16, e.what());
        writeStatementDone(place, tds::kDoneError, 0);
        hadError = true;
      }
      return true;
    }
    case Kind::Select: runSelect(s, place, hadError); return true;
  }
  return true;
}

void StatementRunner::runSet(const sql::Statement& s) {
  // Options are accepted as a server accepts them; these few change answers here.
  const bool on = s.value == "on";
  for (const std::string& option : s.options) {
    if (option == "nocount") state_.noCount = on;
    if (option == "fmtonly") state_.formatOnly = on;
    if (option == "textsize") {
      const long long size = std::atoll(s.value.c_str());
      state_.textSize = size <= 0 ? 4096 : static_cast<std::int32_t>(std::min<long long>(size, INT32_MAX));
    }
  }
}

// The transaction ENVCHANGEs came with TDS 7.2; a 7.1 client keeps only the count.
void StatementRunner::beginTransaction() {
  if (state_.tranCount++ > 0) return;
  state_.transaction = ++state_.lastTransaction;
  if (tds::atLeast72(version_))
    writer_.envChangeBytes(tds::kEnvBeginTransaction, descriptor(state_.transaction), std::string());
}

bool StatementRunner::endTransaction(bool commit) {
  if (state_.tranCount == 0) {
    if (commit)
      writeError(kCommitWithoutBegin, 16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    else
      writeError(kRollbackWithoutBegin, 16, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    return false;
  }
  // A commit ends the outermost level only; a rollback ends them all.
  state_.tranCount = commit ? state_.tranCount - 1 : 0;
  if (state_.tranCount > 0) return true;
  if (tds::atLeast72(version_))
    writer_.envChangeBytes(commit ? tds::kEnvCommitTransaction : tds::kEnvRollbackTransaction, std::string(),
                           descriptor(state_.transaction));
  state_.transaction = 0;
  return true;
}

void StatementRunner::runSelect(const sql::Statement& s, Place place, bool& hadError) {
  const std::string versionText =
      "quarlix-server " + context_.version + " (TDS 7.1 to 7.4) on Linux: serves EXEC quarlix only";
  ProbeContext probe{context_.text, context_.serverName, context_.version, versionText, user_,
                     spid_,         state_.tranCount,    state_.textSize};
  std::vector<tds::ConstantColumn> columns;
  try {
    for (const sql::SelectItem& item : s.items)
      columns.push_back({unicode::utf8ToUtf16(item.alias), probeValue(item.value, probe)});
  } catch (const ProbeError& e) {
    writeError(kNotSupported, 16, e.what());
    writeStatementDone(place, tds::kDoneError, 0);
    hadError = true;
    return;
  }
  tds::writeConstantMetadata(writer_, context_.text->collation(), columns);
  if (!state_.formatOnly) tds::writeConstantRow(writer_, context_.text->collation(), columns);
  writeStatementDone(place, state_.noCount ? 0 : tds::kDoneCount, state_.formatOnly ? 0 : 1, kSelectCommand);
}

bool StatementRunner::runExec(const sql::Statement& s, Place place, const VariableLookup& variables, int& returnValue,
                              bool& hadError) {
  const std::string name = sql::joinedName(s.procedure);
  if (!namesTheProcedure(name)) {
    writeError(kNoSuchProcedure, 16, "Could not find stored procedure '" + name + "'.");
    writeStatementDone(place, tds::kDoneError, 0);
    hadError = true;
    return true;
  }
  CallParameters call = parametersOfExec(s.arguments, *context_.text, variables);
  if (!call.error.empty()) {
    writeError(kNotSupported, 16, call.error);
    writeStatementDone(place, tds::kDoneError, 0);
    hadError = true;
    return true;
  }
  bool procedureError = false;
  int value = 0;
  if (!callProcedure(call.parameters, value, procedureError)) return false;
  returnValue = value;
  hadError = hadError || procedureError;
  // In a batch the procedure ends with its status; inside an RPC the RPC's does.
  if (place == Place::Batch) {
    writer_.returnStatus(value);
    writer_.done(tds::kDoneProc, (procedureError ? tds::kDoneError : 0) | tds::kDoneMore, 0, 0);
  }
  return true;
}

bool StatementRunner::callProcedure(const std::vector<HostParameter>& parameters, int& returnValue, bool& hadError) {
  opends::Connection connection;
  AnswerStyle style;
  style.version = version_;
  style.serverName = serverName_;
  style.noCount = state_.noCount;
  style.metadataOnly = state_.formatOnly;
  ProcedureAnswer answer(channel_, writer_, *context_.text, connection, style);
  lastDoneAt_ = SIZE_MAX;
  std::string error;
  if (!context_.procedure->call(parameters, connection, returnValue, error)) {
    writeError(kNotSupported, 16, "The call cannot be made: " + error + ".");
    hadError = true;
    return true;
  }
  const bool finished = answer.finish(hadError);
  clientMisbehaved_ = answer.clientMisbehaved();
  return finished;
}
