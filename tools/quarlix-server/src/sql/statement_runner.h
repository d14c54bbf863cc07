// Runs statements read by the grammar, in order, each answered through the
// connection's writer: EXEC of the procedure, SET, USE, transactions, IF
// and SELECT. An error ends its statement and the next one runs, as on a
// server; an unknown object (208) ends the batch.
#pragma once

#include "sql/call_parameters.h"
#include "sql/sql_session.h"
#include "tsql/statements.h"

#include <vector>

namespace sql {

class StatementRunner {
 public:
  explicit StatementRunner(SqlSession& session) : session_(session) {}

  struct Outcome {
    int returnValue = 0;     // the procedure's, when an EXEC ran
    bool error = false;      // a statement sent an error
    bool cancelled = false;  // the client cancelled: the answer is ended
  };
  // `variables`: what sp_executesql and prepared statements bind; null in a batch.
  Outcome run(const std::vector<tsql::Statement>& statements, const Variables* variables);

 private:
  enum class Next { Go, StopBatch, Cancelled };
  Next runOne(const tsql::Statement& s, const Variables* variables, Outcome& outcome);
  Next exec(const tsql::Statement& s, const Variables* variables, Outcome& outcome);
  Next select(const tsql::Statement& s, Outcome& outcome);
  Next ifStatement(const tsql::Statement& s, const Variables* variables, Outcome& outcome);
  void set(const tsql::Statement& s);
  void use(const tsql::Statement& s, Outcome& outcome);
  // The statement's error and its DONE; @@ERROR takes its number.
  void fail(const tsql::Statement& s, std::int32_t number, std::uint8_t severity, const std::string& text,
            Outcome& outcome);
  void succeeded(std::int64_t rows);

  SqlSession& session_;
};

}  // namespace sql
