// The T-SQL grammar reads comments and new lines as white space wherever
// they stand. Input: a mode byte (0 a batch, 1 the EXEC line of -Q, 2
// declarations), a byte seeding where comments and new lines go, then the
// text. The text is read as it is; then the same text with comments and new
// lines put between its tokens is read again, and both readings must be the
// same statements (or the same error), save for the places.
#include "fuzz_check.h"
#include "sql/catalog.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

namespace {

void write(std::ostream& out, const tsql::Expression& e) {
  out << "(" << static_cast<int>(e.kind) << " " << e.text << " " << e.length;
  for (const tsql::Expression& argument : e.arguments) write(out, argument);
  out << ")";
}

void write(std::ostream& out, const tsql::Statement& s) {
  out << "[" << static_cast<int>(s.kind);
  for (const std::string& part : s.procedure) out << " p:" << part;
  for (const tsql::ExecValue& v : s.values)
    out << " v:" << static_cast<int>(v.kind) << ":" << v.text << ":" << v.name.value_or("-") << ":" << v.output;
  for (const std::string& option : s.options) out << " o:" << option;
  out << " " << s.value << " " << s.database << " " << s.comparison << " " << s.from.value_or("-");
  write(out, s.left);
  write(out, s.right);
  for (const tsql::SelectItem& item : s.items) {
    write(out, item.value);
    out << " a:" << item.alias;
  }
  for (const tsql::Statement& inner : s.body) write(out, inner);
  out << "]";
}

void write(std::ostream& out, const std::optional<tsql::BatchError>& error) {
  if (error)
    out << "error " << error->number << " " << static_cast<int>(error->severity) << " " << error->message << " "
        << static_cast<int>(error->problem) << " " << error->subject;
}

// What the text reads as, without where anything is.
std::string reading(int mode, std::string_view text) {
  std::ostringstream out;
  if (mode == 0) {
    const tsql::Batch batch = tsql::parseBatch(text, sql::Catalog::instance());
    for (const tsql::Statement& s : batch.statements) write(out, s);
    write(out, batch.error);
  } else if (mode == 1) {
    const tsql::ExecLineStatement line = tsql::parseExecLine(text);
    if (!line.error) write(out, line.statement);
    write(out, line.error);
  } else {
    const tsql::Declarations declarations = tsql::parseDeclarations(text);
    for (const tsql::Declaration& d : declarations.variables) out << d.name << " " << d.type << " " << d.output << ";";
    write(out, declarations.error);
  }
  return out.str();
}

// The text with one of a few kinds of separators between each two tokens,
// chosen from `seed`; empty when the text has no whole tokens to separate.
std::string separated(std::string_view text, std::uint32_t seed) {
  static const char* const kSeparators[] = {"", " /* c */ ", " -- c\n", "\n", "\t/* a /* nested */ b */\r\n"};
  std::string out;
  size_t copied = 0;
  try {
    tsql::Lexer lexer(text);
    for (tsql::Token token = lexer.next(); token.kind != tsql::Token::Kind::End; token = lexer.next()) {
      out.append(text.substr(copied, token.end - copied));
      copied = token.end;
      seed = seed * 1103515245u + 12345u;
      out += kSeparators[(seed >> 16) % 5];
    }
  } catch (const tsql::BatchError&) {
    return std::string();  // an unclosed string or comment: no tokens after it to separate
  }
  return out + std::string(text.substr(copied));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int mode = data[0] % 3;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string variant = separated(text, data[1]);
  if (variant.empty()) return 0;
  FUZZ_REQUIRE(reading(mode, text) == reading(mode, variant),
               "comments and new lines between tokens change the reading of: " + std::string(text));
  return 0;
}
