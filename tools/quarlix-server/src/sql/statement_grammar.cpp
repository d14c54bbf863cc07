#include "sql/statement_grammar.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <deque>

namespace sql {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

struct Token {
  enum class Kind { Word, QuotedName, Variable, GlobalVariable, String, NString, Number, Symbol, End };
  Kind kind = Kind::End;
  std::string
      text;  // Word: lower case; QuotedName: the name; String: the value; Symbol: the symbol; variables: lower case
  size_t begin = 0, end = 0;
};

struct Failure {
  BatchError error;
};

[[noreturn]] void fail(std::int32_t number, std::uint8_t severity, std::string message) {
  throw Failure{BatchError{number, severity, std::move(message)}};
}

bool isNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool isNamePart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // The next token; End at the end, as often as asked.
  Token next() {
    skipSpaceAndComments();
    Token token;
    token.begin = pos_;
    if (pos_ < text_.size()) read(token);
    token.end = pos_;
    return token;
  }

 private:
  char at(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  void skipSpaceAndComments() {
    while (pos_ < text_.size()) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (std::isspace(c)) {
        ++pos_;
      } else if (c == '-' && at(pos_ + 1) == '-') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (c == '/' && at(pos_ + 1) == '*') {
        // Block comments nest, as the server reads them.
        int depth = 0;
        do {
          if (pos_ >= text_.size()) fail(113, 15, "Missing end comment mark '*/'.");
          if (text_[pos_] == '/' && at(pos_ + 1) == '*') {
            ++depth;
            pos_ += 2;
          } else if (text_[pos_] == '*' && at(pos_ + 1) == '/') {
            --depth;
            pos_ += 2;
          } else {
            ++pos_;
          }
        } while (depth > 0);
      } else {
        return;
      }
    }
  }

  // Text up to the closing `close`, a doubled one standing for itself.
  std::string quoted(char close, bool isString) {
    const size_t start = pos_;
    std::string value;
    ++pos_;
    while (true) {
      if (pos_ >= text_.size()) {
        if (isString) fail(105, 15, "Unclosed quotation mark after the character string '" + value + "'.");
        fail(105, 15,
             "Unclosed quotation mark before the character string '" + std::string(text_.substr(start)) + "'.");
      }
      if (text_[pos_] == close) {
        if (at(pos_ + 1) == close) {
          value += close;
          pos_ += 2;
          continue;
        }
        ++pos_;
        return value;
      }
      value += text_[pos_++];
    }
  }

  void read(Token& token) {
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if ((c == 'N' || c == 'n') && at(pos_ + 1) == '\'') {
      ++pos_;
      token.kind = Token::Kind::NString;
      token.text = quoted('\'', true);
    } else if (c == '\'') {
      token.kind = Token::Kind::String;
      token.text = quoted('\'', true);
    } else if (c == '[') {
      token.kind = Token::Kind::QuotedName;
      token.text = quoted(']', false);
    } else if (c == '"') {
      token.kind = Token::Kind::QuotedName;
      token.text = quoted('"', false);
    } else if (c == '@') {
      const bool global = at(pos_ + 1) == '@';
      size_t end = pos_ + (global ? 2 : 1);
      while (end < text_.size() && isNamePart(static_cast<unsigned char>(text_[end]))) ++end;
      token.kind = global ? Token::Kind::GlobalVariable : Token::Kind::Variable;
      token.text = lowered(text_.substr(pos_ + (global ? 2 : 0), end - pos_ - (global ? 2 : 0)));
      pos_ = end;
    } else if (std::isdigit(c) || (c == '.' && std::isdigit(static_cast<unsigned char>(at(pos_ + 1))))) {
      size_t end = pos_;
      while (end < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[end])) || text_[end] == '.')) ++end;
      token.kind = Token::Kind::Number;
      token.text = std::string(text_.substr(pos_, end - pos_));
      pos_ = end;
    } else if (isNameStart(c)) {
      size_t end = pos_;
      while (end < text_.size() && isNamePart(static_cast<unsigned char>(text_[end]))) ++end;
      token.kind = Token::Kind::Word;
      token.text = lowered(text_.substr(pos_, end - pos_));
      pos_ = end;
    } else {
      token.kind = Token::Kind::Symbol;
      static const char* const pairs[] = {">=", "<=", "<>", "!=", "!<", "!>"};
      for (const char* pair : pairs)
        if (text_.substr(pos_, 2) == pair) {
          token.text = pair;
          pos_ += 2;
          return;
        }
      token.text = std::string(1, static_cast<char>(c));
      ++pos_;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

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

const char* const kKnownGlobals[] = {"version",     "spid",      "max_precision", "servername",
                                     "servicename", "trancount", "language",      "textsize"};
const char* const kKnownFunctions[] = {"db_name", "suser_sname", "serverproperty", "schema_name", "user_name"};
const char* const kConvertibleTypes[] = {"varchar", "nvarchar", "char",     "nchar",  "sysname",
                                         "int",     "bigint",   "smallint", "tinyint"};

// Deeper nesting of IF and parentheses than any client sends; the limit
// keeps a hostile batch from exhausting the stack.
constexpr int kMaxDepth = 32;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text), lexer_(text) {}

  std::vector<Statement> batch() {
    std::vector<Statement> statements;
    while (true) {
      while (isSymbol(";")) next();
      if (peek().kind == Token::Kind::End) return statements;
      statements.push_back(statement());
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
  std::string raw(const Token& t) const { return std::string(text_.substr(t.begin, t.end - t.begin)); }
  bool isSymbol(const char* s, size_t ahead = 0) {
    return peek(ahead).kind == Token::Kind::Symbol && peek(ahead).text == s;
  }
  bool isWord(const char* w, size_t ahead = 0) {
    return peek(ahead).kind == Token::Kind::Word && peek(ahead).text == w;
  }
  bool atStatementEnd() { return peek().kind == Token::Kind::End || isSymbol(";") || startsStatement(peek()); }

  [[noreturn]] void syntaxErrorHere() {
    const Token& t = peek();
    if (t.kind == Token::Kind::End) {
      const std::string last = consumed_ > 0 ? raw(previous_) : std::string();
      fail(102, 15, "Incorrect syntax near '" + last + "'.");
    }
    if (startsStatement(t) || t.text == "from" || t.text == "as" || t.text == "end")
      fail(156, 15, "Incorrect syntax near the keyword '" + raw(t) + "'.");
    fail(102, 15, "Incorrect syntax near '" + raw(t) + "'.");
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
               raw(t) + " is not one of them.");
    // A bare procedure name is an EXEC when it is the batch's first statement.
    if (consumed_ == 0) return exec();
    syntaxErrorHere();
  }

  std::string namePart() {
    const Token& t = peek();
    if (t.kind == Token::Kind::QuotedName) return next().text;
    if (t.kind == Token::Kind::Word) return raw(next());
    syntaxErrorHere();
  }

  Statement exec() {
    Statement s;
    s.kind = Statement::Kind::Exec;
    if (isWord("exec") || isWord("execute")) next();
    s.procedure.push_back(namePart());
    while (isSymbol(".")) {
      next();
      s.procedure.push_back(isSymbol(".") ? std::string() : namePart());
    }
    if (s.procedure.size() > 4 || s.procedure.back().empty()) syntaxErrorHere();
    if (atStatementEnd()) {
      s.argumentsOffset = peek().begin;
      return s;
    }
    const size_t first = peek().begin;
    size_t last = first;
    while (true) {
      if (peek().kind == Token::Kind::Variable && isSymbol("=", 1)) {
        next();
        next();
      }
      if (isSymbol("-") || isSymbol("+")) next();
      const Token& value = peek();
      const bool plain = value.kind == Token::Kind::String || value.kind == Token::Kind::NString ||
                         value.kind == Token::Kind::Number || value.kind == Token::Kind::Variable ||
                         value.kind == Token::Kind::Word || value.kind == Token::Kind::QuotedName;
      if (!plain || startsStatement(value)) syntaxErrorHere();
      last = next().end;
      if (isWord("output") || isWord("out")) last = next().end;
      if (!isSymbol(",")) break;
      next();
    }
    if (!atStatementEnd()) syntaxErrorHere();
    s.argumentsOffset = first;
    s.arguments = std::string(text_.substr(first, last - first));
    return s;
  }

  Statement set() {
    Statement s;
    s.kind = Statement::Kind::Set;
    next();
    if (peek().kind == Token::Kind::Variable)
      fail(137, 15, "Must declare the scalar variable \"" + raw(peek()) + "\".");
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
    Statement s;
    s.kind = Statement::Kind::Use;
    next();
    s.database = namePart();
    return s;
  }

  // An optional transaction name after TRAN, COMMIT or ROLLBACK.
  void transactionName() {
    if (peek().kind == Token::Kind::Variable) {
      fail(137, 15, "Must declare the scalar variable \"" + raw(peek()) + "\".");
    }
    if ((peek().kind == Token::Kind::Word && !startsStatement(peek())) || peek().kind == Token::Kind::QuotedName)
      next();
  }

  Statement begin() {
    Statement s;
    s.kind = Statement::Kind::BeginTransaction;
    next();
    if (isWord("distributed")) next();
    if (!isWord("tran") && !isWord("transaction")) syntaxErrorHere();
    next();
    transactionName();
    return s;
  }

  Statement endTransaction() {
    Statement s;
    s.kind = next().text == "commit" ? Statement::Kind::Commit : Statement::Kind::Rollback;
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
    explicit Nested(int& depth) : depth_(depth) {
      if (++depth_ > kMaxDepth)
        fail(
            191, 15,
            "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
    }
    ~Nested() { --depth_; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;

   private:
    int& depth_;
  };

  Statement ifStatement() {
    Nested nested(depth_);
    Statement s;
    s.kind = Statement::Kind::If;
    next();
    s.left = expression();
    static const char* const comparisons[] = {"=", "<>", "!=", ">", ">=", "<", "<=", "!<", "!>"};
    bool found = false;
    for (const char* c : comparisons) found = found || isSymbol(c);
    if (!found) syntaxErrorHere();
    s.comparison = next().text;
    s.right = expression();
    if (peek().kind == Token::Kind::End || isSymbol(";")) syntaxErrorHere();
    s.body.push_back(statement());
    return s;
  }

  Expression expression() {
    Nested nested(depth_);
    Expression e;
    const Token& t = peek();
    if (isSymbol("(")) {
      next();
      e = expression();
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
      case Token::Kind::Variable: fail(137, 15, "Must declare the scalar variable \"" + raw(t) + "\".");
      case Token::Kind::GlobalVariable: {
        if (std::none_of(std::begin(kKnownGlobals), std::end(kKnownGlobals),
                         [&t](const char* g) { return t.text == g; }))
          fail(137, 15, "Must declare the scalar variable \"" + raw(t) + "\".");
        e.kind = Expression::Kind::GlobalVariable;
        e.text = next().text;
        return e;
      }
      case Token::Kind::Word:
        if (t.text == "null") {
          next();
          e.kind = Expression::Kind::Null;
          return e;
        }
        if ((t.text == "cast" || t.text == "convert") && isSymbol("(", 1)) return conversion();
        if (isSymbol("(", 1)) return function();
        if (startsStatement(t) || t.text == "from") syntaxErrorHere();
        fail(207, 16, "Invalid column name '" + raw(t) + "'.");
      case Token::Kind::QuotedName: fail(207, 16, "Invalid column name '" + t.text + "'.");
      default: syntaxErrorHere();
    }
  }

  // CAST(value AS type) and CONVERT(type, value [, style]), to the text and
  // whole-number types clients cast their probes to.
  Expression conversion() {
    const bool isCast = next().text == "cast";
    next();  // (
    Expression e;
    e.kind = Expression::Kind::Convert;
    if (isCast) {
      e.arguments.push_back(expression());
      if (!isWord("as")) syntaxErrorHere();
      next();
      convertType(e);
    } else {
      convertType(e);
      if (!isSymbol(",")) syntaxErrorHere();
      next();
      e.arguments.push_back(expression());
      if (isSymbol(",")) {
        next();
        expression();  // a style: text and numbers have none that matters here
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
    if (std::none_of(std::begin(kConvertibleTypes), std::end(kConvertibleTypes),
                     [&e](const char* t) { return e.text == t; }))
      fail(243, 16,
           "Type " + (type.kind == Token::Kind::Word ? raw(type) : type.text) + " is not a defined system type.");
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

  Expression function() {
    const Token name = next();
    if (std::none_of(std::begin(kKnownFunctions), std::end(kKnownFunctions),
                     [&name](const char* f) { return name.text == f; }))
      fail(195, 15, "'" + raw(name) + "' is not a recognized built-in function name.");
    Expression e;
    e.kind = Expression::Kind::Function;
    e.text = name.text;
    next();  // (
    if (!isSymbol(")")) {
      e.arguments.push_back(expression());
      while (isSymbol(",")) {
        next();
        e.arguments.push_back(expression());
      }
    }
    if (!isSymbol(")")) syntaxErrorHere();
    next();
    const bool optionalOne = e.text == "db_name" || e.text == "schema_name" || e.text == "user_name";
    const size_t wanted = e.text == "serverproperty" ? 1 : 0;
    if (optionalOne ? e.arguments.size() > 1 : e.arguments.size() != wanted)
      fail(174, 15,
           "The " + raw(name) + " function requires " + (optionalOne ? std::string("0 to 1") : std::to_string(wanted)) +
               " argument(s).");
    return e;
  }

  Statement select() {
    Statement s;
    s.kind = Statement::Kind::Select;
    next();
    while (true) {
      SelectItem item;
      item.value = expression();
      if (isWord("as")) {
        next();
        if (peek().kind != Token::Kind::Word && peek().kind != Token::Kind::QuotedName &&
            peek().kind != Token::Kind::String)
          syntaxErrorHere();
        const Token alias = next();
        item.alias = alias.kind == Token::Kind::Word ? raw(alias) : alias.text;
      } else if ((peek().kind == Token::Kind::Word && !startsStatement(peek()) && !isWord("from")) ||
                 peek().kind == Token::Kind::QuotedName || peek().kind == Token::Kind::String) {
        const Token alias = next();
        item.alias = alias.kind == Token::Kind::Word ? raw(alias) : alias.text;
      }
      s.items.push_back(std::move(item));
      if (!isSymbol(",")) break;
      next();
    }
    if (isWord("from")) {
      next();
      const std::string table = peek().kind == Token::Kind::End ? std::string() : raw(peek());
      fail(208, 16, "Invalid object name '" + table + "'.");
    }
    if (!atStatementEnd()) syntaxErrorHere();
    return s;
  }

  std::string_view text_;
  Lexer lexer_;
  std::deque<Token> ahead_;
  Token previous_;
  size_t consumed_ = 0;
  int depth_ = 0;
};

}  // namespace

Batch parseBatch(std::string_view utf8) {
  Batch batch;
  try {
    Parser parser(utf8);
    batch.statements = parser.batch();
  } catch (const Failure& f) {
    batch.statements.clear();
    batch.error = f.error;
  }
  return batch;
}

std::string joinedName(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "." : "") + parts[i];
  return out;
}

}  // namespace sql
