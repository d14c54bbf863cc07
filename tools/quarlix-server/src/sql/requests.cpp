#include "sql/requests.h"

#include "answer/procedure_answer.h"
#include "sql/statement_runner.h"
#include "sql/system_procedures.h"
#include "sql/transactions.h"
#include "tds/tds_constants.h"
#include "tsql/parser.h"
#include "tsql/procedure_names.h"

namespace sql {

namespace {

constexpr std::int32_t kNotSupported = 50000;
constexpr std::int32_t kNoSuchProcedure = 2812;

}  // namespace

Requests::Requests(const ServerFacts& server, tds::AnswerWriter& writer, std::uint32_t version, std::uint16_t spid,
                   std::string user)
    : session_{server, writer, version, spid, std::move(user), SessionState{}} {}

void Requests::refuse(std::int32_t number, const std::string& utf8) { session_.writer.refuse(number, 16, utf8); }

bool Requests::runBatch(const std::string& utf8) {
  tds::AnswerWriter& writer = session_.writer;
  writer.begin(tds::AnswerWriter::Request::Batch);
  const tsql::Batch batch = tsql::parseBatch(utf8, Catalog::instance());
  if (batch.error) {
    // Nothing of a batch that cannot be read runs.
    writer.error(batch.error->number, batch.error->severity, batch.error->message, batch.error->place.line);
    writer.statementDone(tds::kDoneError, 0);
  } else if (StatementRunner(session_).run(batch.statements, nullptr).cancelled) {
    return !writer.clientMisbehaved();
  }
  writer.endBatch();
  return true;
}

bool Requests::runRpc(const tds::RpcRequest& request) {
  const Catalog& catalog = Catalog::instance();
  const SystemProcedure* system =
      request.procId ? catalog.systemProcedure(*request.procId) : catalog.systemProcedure(request.procedureName);
  if (system && system->served) return runSystemProcedure(system->number, request);
  if (!request.procId && !system && tsql::namesTheProcedure(request.procedureName)) return runProcedure(request);
  const std::string name = system           ? std::string(system->name)
                           : request.procId ? "procedure number " + std::to_string(*request.procId)
                                            : request.procedureName;
  refuse(kNoSuchProcedure, "Could not find stored procedure '" + name + "'.");
  return true;
}

bool Requests::runProcedure(const tds::RpcRequest& request) {
  CallParameters call = parametersOfRpc(request, *session_.server.text);
  if (!call.error.empty()) {
    refuse(kNotSupported, call.error);
    return true;
  }
  tds::AnswerWriter& writer = session_.writer;
  writer.begin(tds::AnswerWriter::Request::Rpc);
  AnswerStyle style;
  style.noCount = session_.state.noCount;
  style.metadataOnly = session_.state.formatOnly;
  const ProcedureOutcome outcome =
      callProcedure(*session_.server.procedure, call.parameters, writer, *session_.server.text, style, 1);
  if (outcome.cancelled) return !writer.clientMisbehaved();
  session_.state.rowCount = static_cast<std::int64_t>(outcome.rows);
  session_.state.lastError = outcome.lastError;
  writer.endRpc(outcome.returnValue, outcome.sentError);
  return true;
}

bool Requests::runSystemProcedure(std::uint16_t number, const tds::RpcRequest& request) {
  const SystemCall call = systemCall(number, request, session_);
  if (call.refusal) {
    refuse(call.refusal->number, call.refusal->text);
    return true;
  }
  tds::AnswerWriter& writer = session_.writer;
  writer.begin(tds::AnswerWriter::Request::Rpc);
  StatementRunner::Outcome outcome;
  const tsql::Batch* batch = call.batch();
  if (batch && batch->error) {
    const tsql::BatchError& error = *batch->error;
    writer.error(error.number, error.severity, error.message, error.place.line);
    outcome.error = true;
  } else if (batch && call.run) {
    outcome = StatementRunner(session_).run(batch->statements, &call.variables);
    if (outcome.cancelled) return !writer.clientMisbehaved();
  }
  writer.endRpc(outcome.returnValue, outcome.error, call.outputs);
  return true;
}

void Requests::runTransactionRequest(std::string_view payload) {
  Transactions(session_.state, session_.writer, session_.version).runRequest(payload);
}

}  // namespace sql
