#include "exec_line.h"

#include "utf8.h"

#include <cctype>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters of a T-SQL identifier; bytes of UTF-8 letters included.
bool isIdentifierChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '@' || c == '#' || c == '$' || u >= 0x80;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

struct Failure {
  size_t offset;
  std::string reason;
};

class Parser {
 public:
  Parser(std::string_view line, const ExecLineContext& context) : line_(line), context_(context) {}

  std::vector<HostParameter> parse() {
    skipSpace();
    if (atEnd()) fail("the line is empty; expected EXEC quarlix ...");
    size_t wordStart = pos_;
    std::string_view word = readWhile(isIdentifierChar);
    if (equalsIgnoringCase(word, "EXEC") || equalsIgnoringCase(word, "EXECUTE")) {
      if (!atEnd() && !isSpace(line_[pos_])) fail("expected a space after " + std::string(word));
      skipSpace();
    } else {
      pos_ = wordStart;
    }
    readProcedureName();
    skipSpace();

    std::vector<HostParameter> parameters;
    bool namedSeen = false;
    while (!atEnd() && line_[pos_] != ';') {
      HostParameter parameter = readParameter(namedSeen);
      namedSeen = namedSeen || parameter.name.has_value();
      parameters.push_back(std::move(parameter));
      skipSpace();
      if (atEnd() || line_[pos_] == ';') break;
      if (line_[pos_] != ',') fail("expected ',' or the end of the line, found " + found());
      ++pos_;
      skipSpace();
      if (atEnd() || line_[pos_] == ';') fail("expected a parameter after ','");
    }
    if (!atEnd()) {  // the ';'
      ++pos_;
      skipSpace();
      if (!atEnd()) fail("unexpected text after ';'");
    }
    return parameters;
  }

 private:
  [[noreturn]] void fail(std::string reason) { failAt(pos_, std::move(reason)); }
  [[noreturn]] void failAt(size_t offset, std::string reason) { throw Failure{offset, std::move(reason)}; }

  bool atEnd() const { return pos_ >= line_.size(); }
  void skipSpace() {
    while (!atEnd() && isSpace(line_[pos_])) ++pos_;
  }
  template <typename Predicate>
  std::string_view readWhile(Predicate accept) {
    size_t start = pos_;
    while (!atEnd() && accept(line_[pos_])) ++pos_;
    return line_.substr(start, pos_ - start);
  }

  // The character at the current position, quoted for a message.
  std::string found() const {
    const unicode::Decoded d = unicode::decodeUtf8(line_, pos_);
    if (!d.wellFormed || d.scalar < 0x20 || d.scalar == 0x7F) return "a control or invalid byte";
    return "'" + std::string(line_.substr(pos_, d.length)) + "'";
  }

  void readProcedureName() {
    size_t start = pos_;
    std::string_view name = readWhile([](char c) { return isIdentifierChar(c) || c == '.'; });
    if (name.empty())
      fail("expected the procedure name quarlix, found " + (atEnd() ? std::string("the end of the line") : found()));
    for (std::string_view prefix : {"", "master..", "master.dbo."}) {
      if (name.size() == prefix.size() + 7 && equalsIgnoringCase(name.substr(0, prefix.size()), prefix) &&
          equalsIgnoringCase(name.substr(prefix.size()), "quarlix"))
        return;
    }
    failAt(start,
           "unknown procedure '" + std::string(name) + "'; expected quarlix, master..quarlix or master.dbo.quarlix");
  }

  HostParameter readParameter(bool namedSeen) {
    HostParameter parameter;
    if (line_[pos_] == '@') {
      size_t start = pos_;
      ++pos_;
      std::string_view rest = readWhile(isIdentifierChar);
      if (rest.empty()) failAt(start, "expected a parameter name after '@'");
      std::string name(line_.substr(start, pos_ - start));
      skipSpace();
      if (context_.variable && (atEnd() || line_[pos_] != '=')) {
        // A variable given by position.
        if (namedSeen) failAt(start, "a positional value cannot follow a named one; write it as @name = value");
        return variableAt(start, name);
      }
      parameter.name = std::move(name);
      if (atEnd() || line_[pos_] != '=') fail("expected '=' after " + *parameter.name);
      ++pos_;
      skipSpace();
    } else if (namedSeen) {
      fail("a positional value cannot follow a named one; write it as @name = value");
    }
    readValue(parameter);
    return parameter;
  }

  void readValue(HostParameter& parameter) {
    if (atEnd()) fail("expected a value ('text', N'text' or NULL)");
    size_t start = pos_;
    char c = line_[pos_];
    if (c == '\'') {
      parameter.value = context_.varcharLiteral ? context_.varcharLiteral(readQuoted()) : readQuoted();
      return;
    }
    if (c == '@' && context_.variable) {
      ++pos_;
      readWhile(isIdentifierChar);
      HostParameter value = variableAt(start, std::string(line_.substr(start, pos_ - start)));
      parameter.type = value.type;
      parameter.value = std::move(value.value);
      return;
    }
    if ((c == 'N' || c == 'n') && pos_ + 1 < line_.size() && line_[pos_ + 1] == '\'') {
      ++pos_;
      std::string utf16;
      if (!utf8ToUtf16le(readQuoted(), utf16)) failAt(start, "N'...' holds bytes that are not UTF-8");
      parameter.type = 0xE7;
      parameter.value = std::move(utf16);
      return;
    }
    std::string_view word = readWhile(isIdentifierChar);
    if (equalsIgnoringCase(word, "NULL")) return;
    pos_ = start;
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.')
      fail("numbers are not accepted; quote the value as '...'");
    fail("expected a value ('text', N'text' or NULL), found " +
         (word.empty() ? found() : "'" + std::string(word) + "'"));
  }

  // Text between quotes starting at the current quote; '' stands for one quote.
  std::string readQuoted() {
    size_t open = pos_++;
    std::string text;
    while (true) {
      size_t quote = line_.find('\'', pos_);
      if (quote == std::string_view::npos) failAt(open, "unterminated string");
      text.append(line_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (pos_ < line_.size() && line_[pos_] == '\'') {
        text += '\'';
        ++pos_;
        continue;
      }
      return text;
    }
  }

  HostParameter variableAt(size_t start, const std::string& name) {
    std::optional<HostParameter> value = context_.variable(name);
    if (!value) failAt(start, "the variable " + name + " is not declared");
    value->name.reset();
    return std::move(*value);
  }

  std::string_view line_;
  const ExecLineContext& context_;
  size_t pos_ = 0;
};

}  // namespace

ParsedExecLine parseExecLine(std::string_view line) { return parseExecLine(line, ExecLineContext{}); }

ParsedExecLine parseExecLine(std::string_view line, const ExecLineContext& context) {
  ParsedExecLine result;
  try {
    result.parameters = Parser(line, context).parse();
  } catch (const Failure& failure) {
    result.parameters.clear();
    result.error = ExecLineError{displayWidth(line.substr(0, failure.offset)) + 1, failure.reason};
  }
  return result;
}

std::string describe(const ExecLineError& error) {
  return "column " + std::to_string(error.column) + ": " + error.reason;
}
