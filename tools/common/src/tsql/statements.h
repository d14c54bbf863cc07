// A T-SQL batch read into typed statements: EXEC with its values, SET, USE,
// BEGIN TRAN / COMMIT / ROLLBACK, IF ... and SELECT. Each statement and each
// value knows its place in the client's text.
#pragma once

#include "tsql/batch_error.h"
#include "tsql/place.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tsql {

struct Expression {
  enum class Kind { Number, String, NString, Null, Global, Variable, Function, Convert, Column };
  Kind kind = Kind::Null;
  // Number: as written, with its sign; String, NString: the value;
  // Global: the name after @@ in lower case; Variable: "@name" in lower
  // case; Function: its name in lower case; Convert: the type in lower case;
  // Column: the name as written ("name", "t.name", "*").
  std::string text;
  std::vector<Expression> arguments;  // Function; Convert: the value
  std::uint32_t length = 0;           // Convert: the type's length; 0 when not given, UINT32_MAX for MAX
  Place place;
};

// One value of an EXEC, as written.
struct ExecValue {
  enum class Kind { Text, NText, Null, Number, Variable, Identifier };
  Kind kind = Kind::Null;
  // Text, NText: the value (quotes undone); Number: as written, with its
  // sign; Variable: "@name" in lower case; Identifier: a bare word or quoted
  // name (DEFAULT, abc, [abc]) as written.
  std::string text;
  std::string written;              // the value's own text in the batch
  std::optional<std::string> name;  // "@adspath" as written, for @name = value
  Place namePlace;
  bool output = false;  // OUTPUT or OUT follows it
  Place place;          // the value
  std::size_t end = 0;  // just past the value
};

struct SelectItem {
  Expression value;
  std::string alias;  // empty: no name
};

struct Statement {
  enum class Kind { Exec, Set, Use, BeginTransaction, Commit, Rollback, If, Select };
  Kind kind = Kind::Select;
  Place place;  // its first token

  // Exec: the procedure's name in parts as written (brackets removed; an
  // empty part for "master..quarlix"), and its values.
  std::vector<std::string> procedure;
  Place procedurePlace;
  std::vector<ExecValue> values;

  // Set: the options in lower case ("nocount", "transaction"), the value
  // words in lower case ("on", "isolation level read committed", "2147483647").
  std::vector<std::string> options;
  std::string value;

  // Use: the database.
  std::string database;

  // If: `left` compared with `right` by `comparison` ("=", "<>" ...), then `body`.
  Expression left, right;
  std::string comparison;
  std::vector<Statement> body;

  // Select: the items; `from` the first object named after FROM, as written.
  std::vector<SelectItem> items;
  std::optional<std::string> from;
};

struct Batch {
  std::vector<Statement> statements;
  std::optional<BatchError> error;  // then no statement runs
};

// One declared variable of sp_executesql, sp_prepare or sp_prepexec.
struct Declaration {
  std::string name;  // "@p1", in lower case
  std::string type;  // "nvarchar(4000)", in lower case
  bool output = false;
  Place place;
};

struct Declarations {
  std::vector<Declaration> variables;
  std::optional<BatchError> error;
};

// "master..quarlix" for {"master", "", "quarlix"}.
std::string joinedName(const std::vector<std::string>& parts);

}  // namespace tsql
