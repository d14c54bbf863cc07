#include "tsql/parser.h"

#include "tsql/lexer.h"

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace tsql {

std::string joinedName(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "." : "") + parts[i];
  return out;
}

namespace {

[[noreturn]] void fail(std::int32_t number, std::uint8_t severity, std::string message, Place place) {
  throw BatchError{number, severity, std::move(message), place, Problem::NotSyntax, std::string()};
}

// Words that begin a statement: they end the one before when no ';' does.
bool startsStatement(const Token& t) {
  static const char* const words[] = {
      "select",  "set",        "exec",      "execute", "use",        "begin",      "commit",   "rollback", "if",
      "declare", "print",      "insert",    "update",  "delete",     "create",     "drop",     "alter",    "while",
      "return",  "save",       "raiserror", "throw",   "with",       "merge",      "truncate", "grant",    "revoke",
      "deny",    "open",       "close",     "fetch",   "deallocate", "waitfor",    "goto",     "bulk",     "dbcc",
      "kill",    "checkpoint", "backup",    "restore", "shutdown",   "reconfigure"};
  if (t.kind != Token::Kind::Word) return false;
  return std::any_of(std::begin(words), std::end(words), [&t](const char* w) { return t.text == w; });
}

// Deeper nesting of IF and parentheses than any client sends; the limit
// keeps a hostile batch from exhausting the stack.
constexpr int kMaxDepth = 32;

// A batch (statements after statements), the one EXEC of -Q (whose first
// word is a procedure's name even when it is a keyword), or declarations.
enum class Mode { Batch, ExecLine, Declarations };

class Parser {
 public:
  Parser(std::string_view text, Mode mode, const Vocabulary* vocabulary, const Declarations* declared)
      : text_(text), lexer_(text), mode_(mode), vocabulary_(vocabulary), declared_(declared) {}

  std::vector<Statement> batch() {
    std::vector<Statement> statements;
    while (true) {
      while (isSymbol(";")) next();
      if (peek().kind == Token::Kind::End) return statements;
      statements.push_back(statement());
    }
  }

  Statement execLine() {
    if (peek().kind == Token::Kind::End) syntaxErrorHere(Problem::Empty);
    Statement s = exec();
    if (isSymbol(";")) {
      next();
      if (peek().kind != Token::Kind::End) syntaxErrorHere(Problem::TextAfterSemicolon);
    }
    return s;
  }

  std::vector<Declaration> declarations() {
    std::vector<Declaration> out;
    if (peek().kind == Token::Kind::End) return out;
    while (true) {
      if (peek().kind != Token::Kind::Variable) syntaxErrorHere();
      Declaration d;
      d.place = peek().place;
      const Token name = next();
      d.name = name.text;
      if (std::any_of(out.begin(), out.end(), [&d](const Declaration& e) { return e.name == d.name; }))
        fail(134, 15,
             "The variable name '" + raw(name) +
                 "' has already been declared. Variable names must be unique within a query batch or stored "
                 "procedure.",
             d.place);
      if (isWord("as")) next();
      d.type = typeName();
      if (isWord("output") || isWord("out")) {
        next();
        d.output = true;
      }
      if (isWord("readonly")) next();
      out.push_back(std::move(d));
      if (peek().kind == Token::Kind::End) return out;
      if (!isSymbol(",")) syntaxErrorHere();
      next();
    }
  }

 private:
  // Tokens are read as the parser needs them: a batch of any size takes a
  // few tokens' memory.
  const Token& peek(size_t ahead = 0) {
    while (ahead_.size() <= ahead) ahead_.push_back(lexer_.next());
    return ahead_[ahead];
  }
  Token next() {
    peek();
    previous_ = std::move(ahead_.front());
    ahead_.pop_front();
    ++consumed_;
    return previous_;
  }
  std::string raw(const Token& t) const { return std::string(text_.substr(t.place.offset, t.end - t.place.offset)); }
  bool isSymbol(const char* s, size_t ahead = 0) {
    return peek(ahead).kind == Token::Kind::Symbol && peek(ahead).text == s;
  }
  bool isWord(const char* w, size_t ahead = 0) {
    return peek(ahead).kind == Token::Kind::Word && peek(ahead).text == w;
  }
  bool atStatementEnd() {
    return peek().kind == Token::Kind::End || isSymbol(";") || (mode_ == Mode::Batch && startsStatement(peek()));
  }

  [[noreturn]] void syntaxErrorHere(Problem problem = Problem::Syntax, std::string subject = std::string()) {
    const Token& t = peek();
    BatchError error{102, 15, std::string(), t.place, problem, std::move(subject)};
    if (t.kind == Token::Kind::End) {
      error.message = "Incorrect syntax near '" + (consumed_ > 0 ? raw(previous_) : std::string()) + "'.";
    } else if (startsStatement(t) || t.text == "from" || t.text == "as" || t.text == "end") {
      error.number = 156;
      error.message = "Incorrect syntax near the keyword '" + raw(t) + "'.";
    } else {
      error.message = "Incorrect syntax near '" + raw(t) + "'.";
    }
    throw error;
  }

  Statement statement() {
    const Token& t = peek();
    if (t.kind != Token::Kind::Word) syntaxErrorHere();
    if (t.text == "exec" || t.text == "execute") return exec();
    if (t.text == "set") return set();
    if (t.text == "use") return use();
    if (t.text == "begin") return begin();
    if (t.text == "commit" || t.text == "rollback") return endTransaction();
    if (t.text == "if") return ifStatement();
    if (t.text == "select") return select();
    if (startsStatement(t))
      fail(50000, 16,
           "This server runs only EXEC quarlix, SET, USE master, BEGIN TRAN, COMMIT, ROLLBACK, "
           "IF @@TRANCOUNT and SELECT of constants and server properties; " +
               raw(t) + " is not one of them.",
           t.place);
    // A bare procedure name is an EXEC when it is the batch's first statement.
    if (consumed_ == 0) return exec();
    syntaxErrorHere();
  }

  Statement begun(Statement::Kind kind) {
    Statement s;
    s.kind = kind;
    s.place = peek().place;
    return s;
  }

  std::string namePart(Problem problem = Problem::Syntax) {
    const Token& t = peek();
    if (t.kind == Token::Kind::QuotedName) return next().text;
    if (t.kind == Token::Kind::Word) return raw(next());
    syntaxErrorHere(problem);
  }

  // name[.name...], brackets removed: "sys.system_views".
  std::string objectName() {
    std::vector<std::string> parts{namePart()};
    while (isSymbol(".")) {
      next();
      parts.push_back(isSymbol(".") ? std::string() : namePart());
    }
    return joinedName(parts);
  }

  Statement exec() {
    Statement s = begun(Statement::Kind::Exec);
    if (isWord("exec") || isWord("execute")) next();
    s.procedurePlace = peek().place;
    s.procedure.push_back(namePart(Problem::ProcedureNameExpected));
    while (isSymbol(".")) {
      next();
      s.procedure.push_back(isSymbol(".") ? std::string() : namePart(Problem::ProcedureNameExpected));
    }
    if (s.procedure.size() > 4 || s.procedure.back().empty()) syntaxErrorHere(Problem::ProcedureNameExpected);
    execValues(s.values);
    return s;
  }

  void execValues(std::vector<ExecValue>& values) {
    if (atStatementEnd()) return;
    while (true) {
      ExecValue value;
      if (peek().kind == Token::Kind::Variable && isSymbol("=", 1)) {
        value.namePlace = peek().place;
        value.name = raw(next());
        next();
      }
      execValue(value);
      if (isWord("output") || isWord("out")) {
        next();
        value.output = true;
      }
      const bool positionalVariable = value.kind == ExecValue::Kind::Variable && !value.name;
      const std::string written = value.written;
      values.push_back(std::move(value));
      if (isSymbol(",")) {
        next();
        if (atStatementEnd()) syntaxErrorHere(Problem::ValueExpectedAfterComma);
        continue;
      }
      if (atStatementEnd()) return;
      if (positionalVariable) syntaxErrorHere(Problem::EqualsOrCommaExpected, written);
      syntaxErrorHere(Problem::CommaOrEndExpected);
    }
  }

  void execValue(ExecValue& v) {
    const Token& t = peek();
    v.place = t.place;
    if (isSymbol("-") || isSymbol("+")) {
      if (peek(1).kind != Token::Kind::Number) syntaxErrorHere(Problem::ValueExpected);
      const bool negative = next().text == "-";
      v.kind = ExecValue::Kind::Number;
      v.text = (negative ? "-" : "") + peek().text;
    } else {
      switch (t.kind) {
        case Token::Kind::String: v.kind = ExecValue::Kind::Text; break;
        case Token::Kind::NString: v.kind = ExecValue::Kind::NText; break;
        case Token::Kind::Number: v.kind = ExecValue::Kind::Number; break;
        case Token::Kind::Variable:
          requireDeclared(t);
          v.kind = ExecValue::Kind::Variable;
          break;
        case Token::Kind::Word:
          if (mode_ == Mode::Batch && startsStatement(t)) syntaxErrorHere(Problem::ValueExpected);
          v.kind = t.text == "null" ? ExecValue::Kind::Null : ExecValue::Kind::Identifier;
          break;
        case Token::Kind::QuotedName: v.kind = ExecValue::Kind::Identifier; break;
        default: syntaxErrorHere(Problem::ValueExpected);
      }
      v.text = t.kind == Token::Kind::Word ? raw(t) : t.text;
    }
    v.end = next().end;
    v.written = std::string(text_.substr(v.place.offset, v.end - v.place.offset));
  }

  // Outside -Q a variable must be one the request declares.
  void requireDeclared(const Token& t) {
    if (mode_ != Mode::Batch) return;
    const bool declared = declared_ && std::any_of(declared_->variables.begin(), declared_->variables.end(),
                                                   [&t](const Declaration& d) { return d.name == t.text; });
    if (!declared) fail(137, 15, "Must declare the scalar variable \"" + raw(t) + "\".", t.place);
  }

  Statement set() {
    Statement s = begun(Statement::Kind::Set);
    next();
    if (peek().kind == Token::Kind::Variable)
      fail(137, 15, "Must declare the scalar variable \"" + raw(peek()) + "\".", peek().place);
    if (peek().kind != Token::Kind::Word || startsStatement(peek())) syntaxErrorHere();
    s.options.push_back(next().text);
    while (isSymbol(",")) {
      next();
      if (peek().kind != Token::Kind::Word || startsStatement(peek())) syntaxErrorHere();
      s.options.push_back(next().text);
    }
    std::string value;
    while (!atStatementEnd()) {
      const Token& t = next();
      if (t.kind == Token::Kind::Symbol && t.text != "-" && t.text != "=") syntaxErrorHere();
      std::string word = t.kind == Token::Kind::Word     ? t.text
                         : t.kind == Token::Kind::Symbol ? t.text
                                                         : lowered(t.text);
      if (!value.empty() && value.back() != '-') value += ' ';
      value += word;
      // ON, OFF, a number or a string is the last word of a SET.
      if (word == "on" || word == "off" || t.kind == Token::Kind::Number || t.kind == Token::Kind::String ||
          t.kind == Token::Kind::NString)
        break;
    }
    if (value.empty()) syntaxErrorHere();
    s.value = value;
    return s;
  }

  Statement use() {
    Statement s = begun(Statement::Kind::Use);
    next();
    s.database = namePart();
    return s;
  }

  // An optional transaction name after TRAN, COMMIT or ROLLBACK.
  void transactionName() {
    if (peek().kind == Token::Kind::Variable)
      fail(137, 15, "Must declare the scalar variable \"" + raw(peek()) + "\".", peek().place);
    if ((peek().kind == Token::Kind::Word && !startsStatement(peek())) || peek().kind == Token::Kind::QuotedName)
      next();
  }

  Statement begin() {
    Statement s = begun(Statement::Kind::BeginTransaction);
    next();
    if (isWord("distributed")) next();
    if (!isWord("tran") && !isWord("transaction")) syntaxErrorHere();
    next();
    transactionName();
    return s;
  }

  Statement endTransaction() {
    Statement s = begun(isWord("commit") ? Statement::Kind::Commit : Statement::Kind::Rollback);
    next();
    if (isWord("tran") || isWord("transaction") || isWord("work")) {
      const bool work = isWord("work");
      next();
      if (!work) transactionName();
    }
    return s;
  }

  // Counts one level of nesting while it lives.
  class Nested {
   public:
    Nested(int& depth, Place place) : depth_(depth) {
      if (++depth_ > kMaxDepth)
        fail(191, 15,
             "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller "
             "queries.",
             place);
    }
    ~Nested() { --depth_; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;

   private:
    int& depth_;
  };

  Statement ifStatement() {
    Nested nested(depth_, peek().place);
    Statement s = begun(Statement::Kind::If);
    next();
    s.left = expression(false);
    static const char* const comparisons[] = {"=", "<>", "!=", ">", ">=", "<", "<=", "!<", "!>"};
    if (std::none_of(std::begin(comparisons), std::end(comparisons), [this](const char* c) { return isSymbol(c); }))
      syntaxErrorHere();
    s.comparison = next().text;
    s.right = expression(false);
    if (peek().kind == Token::Kind::End || isSymbol(";")) syntaxErrorHere();
    s.body.push_back(statement());
    return s;
  }

  [[noreturn]] void invalidColumn(const Expression& e) {
    fail(207, 16, "Invalid column name '" + e.text + "'.", e.place);
  }

  // A value; names of columns only where a FROM may follow (SELECT).
  Expression expression(bool columns) {
    Nested nested(depth_, peek().place);
    Expression e;
    const Token& t = peek();
    e.place = t.place;
    if (isSymbol("(")) {
      next();
      e = expression(columns);
      if (!isSymbol(")")) syntaxErrorHere();
      next();
      return e;
    }
    if (isSymbol("-") || isSymbol("+")) {
      const bool negative = next().text == "-";
      if (peek().kind != Token::Kind::Number) syntaxErrorHere();
      e.kind = Expression::Kind::Number;
      e.text = (negative ? "-" : "") + next().text;
      return e;
    }
    if (isSymbol("*") && columns) {
      next();
      e.kind = Expression::Kind::Column;
      e.text = "*";
      return e;
    }
    switch (t.kind) {
      case Token::Kind::Number:
        e.kind = Expression::Kind::Number;
        e.text = next().text;
        return e;
      case Token::Kind::String:
      case Token::Kind::NString:
        e.kind = t.kind == Token::Kind::String ? Expression::Kind::String : Expression::Kind::NString;
        e.text = next().text;
        return e;
      case Token::Kind::Variable: fail(137, 15, "Must declare the scalar variable \"" + raw(t) + "\".", t.place);
      case Token::Kind::GlobalVariable:
        if (!vocabulary_->knowsGlobal(t.text))
          fail(137, 15, "Must declare the scalar variable \"" + raw(t) + "\".", t.place);
        e.kind = Expression::Kind::Global;
        e.text = next().text;
        return e;
      case Token::Kind::Word:
        if (t.text == "null") {
          next();
          e.kind = Expression::Kind::Null;
          return e;
        }
        if ((t.text == "cast" || t.text == "convert") && isSymbol("(", 1)) return conversion();
        if (isSymbol("(", 1)) return function();
        if (startsStatement(t) || t.text == "from") syntaxErrorHere();
        [[fallthrough]];
      case Token::Kind::QuotedName:
        e.kind = Expression::Kind::Column;
        e.text = columnName();
        if (!columns) invalidColumn(e);
        return e;
      default: syntaxErrorHere();
    }
  }

  // name[.name...][.*], as the client wrote it without brackets.
  std::string columnName() {
    std::string name = namePart();
    while (isSymbol(".")) {
      next();
      if (isSymbol("*")) {
        next();
        return name + ".*";
      }
      name += "." + namePart();
    }
    return name;
  }

  // CAST(value AS type) and CONVERT(type, value [, style]).
  Expression conversion() {
    Expression e;
    e.place = peek().place;
    const bool isCast = next().text == "cast";
    next();  // (
    e.kind = Expression::Kind::Convert;
    if (isCast) {
      e.arguments.push_back(expression(false));
      if (!isWord("as")) syntaxErrorHere();
      next();
      convertType(e);
    } else {
      convertType(e);
      if (!isSymbol(",")) syntaxErrorHere();
      next();
      e.arguments.push_back(expression(false));
      if (isSymbol(",")) {
        next();
        expression(false);  // a style: text and numbers have none that matters here
      }
    }
    if (!isSymbol(")")) syntaxErrorHere();
    next();
    return e;
  }

  void convertType(Expression& e) {
    if (peek().kind != Token::Kind::Word && peek().kind != Token::Kind::QuotedName) syntaxErrorHere();
    const Token type = next();
    e.text = type.kind == Token::Kind::Word ? type.text : lowered(type.text);
    if (!vocabulary_->knowsType(e.text))
      fail(243, 16,
           "Type " + (type.kind == Token::Kind::Word ? raw(type) : type.text) + " is not a defined system type.",
           type.place);
    if (!isSymbol("(")) return;
    next();
    if (isWord("max")) {
      next();
      e.length = UINT32_MAX;
    } else if (peek().kind == Token::Kind::Number) {
      e.length =
          static_cast<std::uint32_t>(std::min<unsigned long>(std::strtoul(next().text.c_str(), nullptr, 10), 8000));
    } else {
      syntaxErrorHere();
    }
    if (!isSymbol(")")) syntaxErrorHere();
    next();
  }

  // A type of a declaration: name[.name][(n[, m]) | (max)], in lower case.
  std::string typeName() {
    std::string type = lowered(objectName());
    if (!isSymbol("(")) return type;
    type += next().text;
    while (!isSymbol(")")) {
      const Token& t = peek();
      if (t.kind != Token::Kind::Number && !isWord("max") && !isSymbol(",")) syntaxErrorHere();
      type += next().text;
    }
    return type + next().text;
  }

  Expression function() {
    const Token name = next();
    const std::optional<Vocabulary::Arity> arity = vocabulary_->function(name.text);
    if (!arity) fail(195, 15, "'" + raw(name) + "' is not a recognized built-in function name.", name.place);
    Expression e;
    e.kind = Expression::Kind::Function;
    e.text = name.text;
    e.place = name.place;
    next();  // (
    if (!isSymbol(")")) {
      e.arguments.push_back(expression(false));
      while (isSymbol(",")) {
        next();
        e.arguments.push_back(expression(false));
      }
    }
    if (!isSymbol(")")) syntaxErrorHere();
    next();
    if (e.arguments.size() < arity->least || e.arguments.size() > arity->most)
      fail(174, 15,
           "The " + raw(name) + " function requires " +
               (arity->least == arity->most ? std::to_string(arity->least)
                                            : std::to_string(arity->least) + " to " + std::to_string(arity->most)) +
               " argument(s).",
           name.place);
    return e;
  }

  bool aliasFollows() {
    const Token& t = peek();
    return (t.kind == Token::Kind::Word && !startsStatement(t) && t.text != "from") ||
           t.kind == Token::Kind::QuotedName || t.kind == Token::Kind::String;
  }

  // Everything up to the statement's end, parentheses balanced: what a FROM
  // clause holds is never run here.
  void skipRestOfStatement() {
    int depth = 0;
    while (true) {
      const Token& t = peek();
      if (t.kind == Token::Kind::End) {
        if (depth > 0) syntaxErrorHere();
        return;
      }
      if (depth == 0 && (isSymbol(";") || startsStatement(t))) return;
      if (isSymbol("(")) ++depth;
      if (isSymbol(")") && --depth < 0) syntaxErrorHere();
      next();
    }
  }

  Statement select() {
    Statement s = begun(Statement::Kind::Select);
    next();
    if (isWord("distinct") || isWord("all")) next();
    if (isWord("top")) {
      next();
      expression(false);  // how many: nothing is selected from a table here
      if (isWord("percent")) next();
    }
    while (true) {
      SelectItem item;
      item.value = expression(true);
      if (isWord("as")) {
        next();
        if (peek().kind != Token::Kind::Word && peek().kind != Token::Kind::QuotedName &&
            peek().kind != Token::Kind::String)
          syntaxErrorHere();
        const Token alias = next();
        item.alias = alias.kind == Token::Kind::Word ? raw(alias) : alias.text;
      } else if (aliasFollows()) {
        const Token alias = next();
        item.alias = alias.kind == Token::Kind::Word ? raw(alias) : alias.text;
      }
      s.items.push_back(std::move(item));
      if (!isSymbol(",")) break;
      next();
    }
    if (isWord("from")) {
      // No object exists here: the statement answers that its first one is
      // unknown, whatever its columns and conditions.
      next();
      s.from = objectName();
      skipRestOfStatement();
      return s;
    }
    if (!atStatementEnd()) syntaxErrorHere();
    for (const SelectItem& item : s.items) {
      if (item.value.kind != Expression::Kind::Column) continue;
      const std::string& name = item.value.text;
      if (name == "*" || (name.size() > 2 && name.compare(name.size() - 2, 2, ".*") == 0))
        fail(263, 16, "Must specify table to select from.", item.value.place);
      invalidColumn(item.value);
    }
    return s;
  }

  std::string_view text_;
  Lexer lexer_;
  Mode mode_;
  const Vocabulary* vocabulary_;
  const Declarations* declared_;
  std::deque<Token> ahead_;
  Token previous_;
  size_t consumed_ = 0;
  int depth_ = 0;
};

}  // namespace

Batch parseBatch(std::string_view text, const Vocabulary& vocabulary, const Declarations* declared) {
  Batch batch;
  try {
    batch.statements = Parser(text, Mode::Batch, &vocabulary, declared).batch();
  } catch (const BatchError& error) {
    batch.statements.clear();
    batch.error = error;
  }
  return batch;
}

ExecLineStatement parseExecLine(std::string_view text) {
  ExecLineStatement result;
  try {
    result.statement = Parser(text, Mode::ExecLine, nullptr, nullptr).execLine();
  } catch (const BatchError& error) {
    result.error = error;
  }
  return result;
}

Declarations parseDeclarations(std::string_view text) {
  Declarations result;
  try {
    result.variables = Parser(text, Mode::Declarations, nullptr, nullptr).declarations();
  } catch (const BatchError& error) {
    result.variables.clear();
    result.error = error;
  }
  return result;
}

}  // namespace tsql
