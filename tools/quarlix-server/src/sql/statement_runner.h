// Runs what a client asks for after login: an SQL batch, an RPC (the
// procedure itself, sp_executesql and the prepared statement procedures) and
// a transaction-manager request. Statements go through the grammar module;
// their answers are written in one token stream per request, which leaves in
// full packets while the procedure answers and ends with the request's last
// DONE or DONEPROC.
#pragma once

#include "sql/call_parameters.h"
#include "net/packet_channel.h"
#include "tds/rpc_request.h"
#include "main/server_context.h"
#include "sql/session_state.h"
#include "sql/statement_grammar.h"
#include "tds/token_writer.h"

#include <cstdint>
#include <functional>
#include <string>

// Numbers of the errors the runner and the session answer with.
constexpr std::int32_t kNotSupported = 50000;
constexpr std::int32_t kNoSuchProcedure = 2812;

class StatementRunner {
 public:
  StatementRunner(tds::PacketChannel& channel, const ServerContext& context, std::uint32_t version, std::uint16_t spid,
                  std::string user);

  // Each returns false when the connection must close after the answer.
  bool runBatch(const std::string& utf8);
  bool runRpc(const tds::RpcRequest& request);
  bool runTransactionRequest(std::string_view payload);
  // An answer of one error, for requests that cannot be read or served.
  void sendError(std::int32_t number, std::uint8_t severity, const std::string& utf8);

  const SessionState& state() const { return state_; }

 private:
  using VariableLookup = std::function<std::optional<HostParameter>(std::string_view name)>;
  enum class Place { Batch, Procedure };

  // The statements' tokens; false when cancelled (the answer is already sent).
  bool runStatements(const std::vector<sql::Statement>& statements, Place place, const VariableLookup& variables,
                     int& returnValue, bool& hadError);
  bool runStatement(const sql::Statement& statement, Place place, const VariableLookup& variables, int& returnValue,
                    bool& hadError);
  bool runExec(const sql::Statement& statement, Place place, const VariableLookup& variables, int& returnValue,
               bool& hadError);
  void runSelect(const sql::Statement& statement, Place place, bool& hadError);
  void runSet(const sql::Statement& statement);
  void beginTransaction();
  bool endTransaction(bool commit);
  // The procedure with these parameters; false when cancelled.
  bool callProcedure(const std::vector<HostParameter>& parameters, int& returnValue, bool& hadError);

  // An RPC that runs statements: its answer ends with RETURNSTATUS, the
  // output values and DONEPROC.
  bool runProcedureStatements(const sql::Batch& batch, const VariableLookup& variables,
                              const std::function<void()>& outputs);
  bool runExecuteSql(const tds::RpcRequest& request);
  bool runPrepare(const tds::RpcRequest& request, bool execute);
  bool runExecute(const tds::RpcRequest& request);
  bool runUnprepare(const tds::RpcRequest& request);
  bool runTheProcedure(const tds::RpcRequest& request);
  static VariableLookup lookupIn(const Variables& values);

  void writeError(std::int32_t number, std::uint8_t severity, const std::string& utf8, std::uint32_t line = 1);
  // DONE, or DONEINPROC inside an RPC, of a statement that `command` names (0: none given).
  void writeStatementDone(Place place, std::uint16_t status, std::uint64_t count, std::uint16_t command = 0);
  void endProcedure(int returnValue, bool hadError, const std::function<void()>& outputs);
  // Sends what is written as the end of the answer.
  void sendAnswer();

  tds::PacketChannel& channel_;
  const ServerContext& context_;
  std::uint32_t version_;
  std::uint16_t spid_;
  std::string user_;
  std::u16string serverName_;  // as messages name it
  tds::TokenWriter writer_;
  SessionState state_;
  bool clientMisbehaved_ = false;
  size_t lastDoneAt_ = SIZE_MAX;  // where the batch's last DONE starts in writer_, while it is the last token
};
