// The tokens of T-SQL text. White space and comments (-- to the end of the
// line, /* */ nested) separate tokens and are skipped wherever they are.
// Every token knows its place in the text, so that messages point at the
// client's own text.
#pragma once

#include "tsql/batch_error.h"
#include "tsql/place.h"

#include <string>
#include <string_view>

namespace tsql {

struct Token {
  enum class Kind { Word, QuotedName, Variable, GlobalVariable, String, NString, Number, Symbol, End };
  Kind kind = Kind::End;
  // Word: in lower case; QuotedName: the name; String, NString: the value as
  // written (doubled quotes undone); Variable: "@name" in lower case;
  // GlobalVariable: the name after @@ in lower case; Number: as written;
  // Symbol: the symbol ("(", ">=" ...).
  std::string text;
  Place place;          // the token's first byte
  std::size_t end = 0;  // just past its last byte
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // The next token; End at the end, as often as asked. Throws BatchError
  // (105 or 113) for a string, quoted name or comment without its end.
  Token next();

 private:
  char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
  void moveTo(std::size_t end);  // counts the new lines passed
  void skipSpaceAndComments();
  std::string quoted(char close, bool isString);
  void read(Token& token);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::uint32_t line_ = 1;
};

// The text with ASCII letters in lower case, as names compare in T-SQL.
std::string lowered(std::string_view text);

// A byte of a name after its first (letters, digits, _ # $ @, and any byte of
// a UTF-8 letter or of a code page's).
bool isNamePart(unsigned char c);

}  // namespace tsql
