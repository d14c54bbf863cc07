// The T-SQL this server understands, read into statements: EXEC of a
// procedure, SET, USE, BEGIN TRAN / COMMIT / ROLLBACK, IF @@TRANCOUNT ... and
// SELECT of constants, @@ variables and a few functions. Statements follow
// one another with or without ';' and new lines; -- and /* */ comments are
// skipped. What the grammar cannot read is a syntax error for the whole
// batch, as a server compiles a batch before it runs any of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

struct Expression {
  enum class Kind { Number, String, NString, Null, GlobalVariable, Variable, Function, Convert };
  Kind kind = Kind::Null;
  // The number as written, the string's UTF-8 value, the lower-case name
  // (without @@ for globals), the lower-case type of a CAST or CONVERT.
  std::string text;
  std::vector<Expression> arguments;  // Function; Convert: the value
  std::uint32_t length = 0;           // Convert: the type's length; 0 when not given, UINT32_MAX for MAX
};

struct SelectItem {
  Expression value;
  std::string alias;  // UTF-8; empty: no name
};

struct Statement {
  enum class Kind { Exec, Set, Use, BeginTransaction, Commit, Rollback, If, Select };
  Kind kind = Kind::Select;
  // Exec: the name's parts as written (brackets removed), and the text of the
  // values after the name, with its offset in the batch.
  std::vector<std::string> procedure;
  std::string arguments;
  size_t argumentsOffset = 0;
  // Set: the option in lower case ("nocount", "transaction isolation level"),
  // its value words in lower case ("on", "read committed", "2147483647").
  std::vector<std::string> options;
  std::string value;
  // Use: the database.
  std::string database;
  // If: `left` compared with `right` by `comparison` ("=", "<>", ">", ">=", "<", "<="), then `body`.
  Expression left, right;
  std::string comparison;
  std::vector<Statement> body;
  // Select.
  std::vector<SelectItem> items;
};

// Why a batch cannot run, with the number and severity a server gives the
// case: 102 incorrect syntax, 105 unclosed quotation mark, 113 missing end
// comment mark, 137 an undeclared variable, 195 an unknown function, 207 a
// column without a table, 208 a table (there are none), 50000 a statement
// this server does not run (DECLARE, INSERT ...).
struct BatchError {
  std::int32_t number = 102;
  std::uint8_t severity = 15;
  std::string message;
};

struct Batch {
  std::vector<Statement> statements;
  std::optional<BatchError> error;
};

Batch parseBatch(std::string_view utf8);

// "master..quarlix" for {"master", "", "quarlix"}.
std::string joinedName(const std::vector<std::string>& parts);

// The text with ASCII letters in lower case, as names compare in T-SQL.
std::string lowered(std::string_view text);

}  // namespace sql
