#include "tsql/exec_query.h"

#include "tsql/exec_binding.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"
#include "tsql/procedure_names.h"
#include "utf8.h"

namespace {

// The character at `offset`, quoted for a message.
std::string found(std::string_view line, size_t offset) {
  if (offset >= line.size()) return "the end of the line";
  const unicode::Decoded d = unicode::decodeUtf8(line, offset);
  if (!d.wellFormed || d.scalar < 0x20 || d.scalar == 0x7F) return "a control or invalid byte";
  return "'" + std::string(line.substr(offset, d.length)) + "'";
}

// A word at `offset` whole, else its character.
std::string foundWord(std::string_view line, size_t offset) {
  size_t end = offset;
  while (end < line.size() && tsql::isNamePart(static_cast<unsigned char>(line[end]))) ++end;
  return end > offset ? "'" + std::string(line.substr(offset, end - offset)) + "'" : found(line, offset);
}

// The grammar's problem in the words -Q has always used.
std::string reasonFor(const tsql::BatchError& error, std::string_view line) {
  using tsql::Problem;
  const size_t at = error.place.offset;
  switch (error.problem) {
    case Problem::UnclosedString: return "unterminated string";
    case Problem::UnclosedName: return "unterminated quoted name";
    case Problem::UnclosedComment: return "missing end comment mark '*/'";
    case Problem::Empty: return "the line is empty; expected EXEC quarlix ...";
    case Problem::ProcedureNameExpected: return "expected the procedure name quarlix, found " + found(line, at);
    case Problem::ValueExpected:
      return at >= line.size() ? "expected a value ('text', N'text' or NULL)"
                               : "expected a value ('text', N'text' or NULL), found " + foundWord(line, at);
    case Problem::ValueExpectedAfterComma: return "expected a parameter after ','";
    case Problem::CommaOrEndExpected: return "expected ',' or the end of the line, found " + found(line, at);
    case Problem::EqualsOrCommaExpected: return "expected '=' after " + error.subject;
    case Problem::TextAfterSemicolon: return "unexpected text after ';'";
    case Problem::Syntax:
    case Problem::NotSyntax: break;
  }
  return error.message;
}

// -Q hands values over as written: '...' as the bytes of the line, N'...'
// as the UTF-16LE of its UTF-8.
bool literal(const tsql::ExecValue& value, HostParameter& out, std::string& reason) {
  if (value.kind == tsql::ExecValue::Kind::Text) {
    out.type = 0x27;
    out.value = value.text;
    return true;
  }
  std::string utf16;
  if (!utf8ToUtf16le(value.text, utf16)) {
    reason = "N'...' holds bytes that are not UTF-8";
    return false;
  }
  out.type = 0xE7;
  out.value = std::move(utf16);
  return true;
}

}  // namespace

ParsedExecQuery readExecQuery(std::string_view line) {
  ParsedExecQuery result;
  auto failAt = [&](size_t offset, std::string reason) {
    result.parameters.clear();
    result.error = ExecQueryError{displayWidth(line.substr(0, offset)) + 1, std::move(reason)};
    return result;
  };
  const tsql::ExecLineStatement read = tsql::parseExecLine(line);
  if (read.error) return failAt(read.error->place.offset, reasonFor(*read.error, line));
  const tsql::Statement& exec = read.statement;
  if (!tsql::namesTheProcedure(exec.procedure))
    return failAt(exec.procedurePlace.offset, "unknown procedure '" + tsql::joinedName(exec.procedure) +
                                                  "'; expected quarlix, master..quarlix or master.dbo.quarlix");
  tsql::BindingRules rules;
  rules.literal = literal;
  tsql::BoundParameters bound = tsql::bindExecValues(exec.values, rules);
  if (bound.error) return failAt(bound.error->place.offset, bound.error->reason);
  result.parameters = std::move(bound.parameters);
  return result;
}

std::string describe(const ExecQueryError& error) {
  return "column " + std::to_string(error.column) + ": " + error.reason;
}
