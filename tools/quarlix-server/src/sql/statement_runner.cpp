#include "sql/statement_runner.h"

#include "answer/procedure_answer.h"
#include "sql/result_set.h"
#include "sql/select_values.h"
#include "sql/transactions.h"
#include "tds/tds_constants.h"
#include "tsql/lexer.h"
#include "tsql/procedure_names.h"
#include "utf_codec.h"

namespace sql {

namespace {

constexpr std::int32_t kNotSupported = 50000;
constexpr std::int32_t kNoSuchProcedure = 2812;
constexpr std::int32_t kNoSuchObject = 208;
constexpr std::int32_t kNoSuchDatabase = 911;
constexpr std::int32_t kDatabaseChanged = 5701;
constexpr std::uint16_t kSelectCommand = 0xC1;  // the DONE of a SELECT names it

bool compare(std::int64_t left, const std::string& op, std::int64_t right) {
  if (op == "=") return left == right;
  if (op == "<>" || op == "!=") return left != right;
  if (op == ">") return left > right;
  if (op == ">=" || op == "!<") return left >= right;
  if (op == "<") return left < right;
  return left <= right;  // "<=", "!>"
}

}  // namespace

StatementRunner::Outcome StatementRunner::run(const std::vector<tsql::Statement>& statements,
                                              const Variables* variables) {
  Outcome outcome;
  for (const tsql::Statement& s : statements) {
    const Next next = runOne(s, variables, outcome);
    if (next == Next::Cancelled) outcome.cancelled = true;
    if (next != Next::Go) break;
  }
  return outcome;
}

void StatementRunner::fail(const tsql::Statement& s, std::int32_t number, std::uint8_t severity,
                           const std::string& text, Outcome& outcome) {
  session_.writer.error(number, severity, text, s.place.line);
  session_.writer.statementDone(tds::kDoneError, 0);
  session_.state.lastError = number;
  session_.state.rowCount = 0;
  outcome.error = true;
}

void StatementRunner::succeeded(std::int64_t rows) {
  session_.state.lastError = 0;
  session_.state.rowCount = rows;
}

StatementRunner::Next StatementRunner::runOne(const tsql::Statement& s, const Variables* variables, Outcome& outcome) {
  using Kind = tsql::Statement::Kind;
  Transactions transactions(session_.state, session_.writer, session_.version);
  switch (s.kind) {
    case Kind::Exec: return exec(s, variables, outcome);
    case Kind::Select: return select(s, outcome);
    case Kind::If: return ifStatement(s, variables, outcome);
    case Kind::Set: set(s); break;
    case Kind::Use: use(s, outcome); break;
    case Kind::BeginTransaction:
      transactions.begin();
      succeeded(0);
      break;
    case Kind::Commit:
    case Kind::Rollback:
      if (!transactions.end(s.kind == Kind::Commit, s.place.line)) {
        session_.writer.statementDone(tds::kDoneError, 0);
        session_.state.lastError = s.kind == Kind::Commit ? 3902 : 3903;
        outcome.error = true;
      } else {
        succeeded(0);
      }
      break;
  }
  return Next::Go;
}

void StatementRunner::set(const tsql::Statement& s) {
  // Options are accepted as a server accepts them; the catalog's change answers here.
  for (const std::string& option : s.options)
    if (const SetOption* known = Catalog::instance().setOption(option)) known->apply(session_.state, s.value);
  succeeded(0);
}

void StatementRunner::use(const tsql::Statement& s, Outcome& outcome) {
  if (tsql::lowered(s.database) != "master")
    return fail(s, kNoSuchDatabase, 16,
                "Database '" + s.database + "' does not exist. Make sure that the name is entered correctly.", outcome);
  session_.writer.envChange(tds::kEnvDatabase, u"master", u"master");
  session_.writer.error(kDatabaseChanged, 0, "Changed database context to 'master'.", s.place.line);
  succeeded(0);
}

StatementRunner::Next StatementRunner::ifStatement(const tsql::Statement& s, const Variables* variables,
                                                   Outcome& outcome) {
  try {
    const Facts facts = session_.facts();
    const Value left = valueOf(s.left, facts), right = valueOf(s.right, facts);
    if (left.type != Value::Type::Int || right.type != Value::Type::Int)
      throw ValueError("This server compares whole numbers only.");
    if (left.number && right.number && compare(*left.number, s.comparison, *right.number)) {
      for (const tsql::Statement& inner : s.body) {
        const Next next = runOne(inner, variables, outcome);
        if (next != Next::Go) return next;
      }
    }
  } catch (const ValueError& e) {
    fail(s, kNotSupported, 16, e.what(), outcome);
  }
  return Next::Go;
}

StatementRunner::Next StatementRunner::select(const tsql::Statement& s, Outcome& outcome) {
  if (s.from) {
    // No object exists here; as on a server, an unknown one ends the batch.
    fail(s, kNoSuchObject, 16, "Invalid object name '" + *s.from + "'.", outcome);
    return Next::StopBatch;
  }
  const Facts facts = session_.facts();
  std::vector<NamedValue> values;
  try {
    for (const tsql::SelectItem& item : s.items)
      values.push_back({unicode::utf8ToUtf16(item.alias), valueOf(item.value, facts)});
  } catch (const ValueError& e) {
    fail(s, kNotSupported, 16, e.what(), outcome);
    return Next::Go;
  }
  const bool columnsOnly = session_.state.formatOnly;
  writeConstants(session_.writer, session_.server.text->collation(), values, columnsOnly);
  session_.writer.statementDone(session_.state.noCount ? 0 : tds::kDoneCount, columnsOnly ? 0 : 1, kSelectCommand);
  succeeded(columnsOnly ? 0 : 1);
  return Next::Go;
}

StatementRunner::Next StatementRunner::exec(const tsql::Statement& s, const Variables* variables, Outcome& outcome) {
  if (!tsql::namesTheProcedure(s.procedure)) {
    fail(s, kNoSuchProcedure, 16, "Could not find stored procedure '" + tsql::joinedName(s.procedure) + "'.", outcome);
    return Next::Go;
  }
  const tsql::BoundParameters bound =
      tsql::bindExecValues(s.values, execBindingRules(*session_.server.text, variables));
  if (bound.error) {
    fail(s, kNotSupported, 16, "Incorrect EXEC statement: " + bound.error->reason + ".", outcome);
    return Next::Go;
  }
  AnswerStyle style;
  style.noCount = session_.state.noCount;
  style.metadataOnly = session_.state.formatOnly;
  const ProcedureOutcome called = callProcedure(*session_.server.procedure, bound.parameters, session_.writer,
                                                *session_.server.text, style, s.place.line);
  if (called.cancelled) return Next::Cancelled;
  outcome.returnValue = called.returnValue;
  outcome.error = outcome.error || called.sentError;
  session_.state.rowCount = static_cast<std::int64_t>(called.rows);
  session_.state.lastError = called.lastError;
  session_.writer.procedureDone(called.returnValue, called.sentError);
  return Next::Go;
}

}  // namespace sql
