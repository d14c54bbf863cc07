#include "tsql/lexer.h"

#include <cctype>

namespace tsql {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isNamePart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

namespace {

bool isNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }

[[noreturn]] void fail(Problem problem, std::int32_t number, std::string message, Place place) {
  throw BatchError{number, 15, std::move(message), place, problem, std::string()};
}

}  // namespace

void Lexer::moveTo(std::size_t end) {
  for (; pos_ < end; ++pos_)
    if (text_[pos_] == '\n') ++line_;
}

void Lexer::skipSpaceAndComments() {
  while (pos_ < text_.size()) {
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (std::isspace(c)) {
      moveTo(pos_ + 1);
    } else if (c == '-' && at(pos_ + 1) == '-') {
      const std::size_t newline = text_.find('\n', pos_);
      moveTo(newline == std::string_view::npos ? text_.size() : newline);
    } else if (c == '/' && at(pos_ + 1) == '*') {
      // Block comments nest, as a server reads them.
      const Place start{pos_, line_};
      int depth = 0;
      do {
        if (pos_ >= text_.size()) fail(Problem::UnclosedComment, 113, "Missing end comment mark '*/'.", start);
        if (text_[pos_] == '/' && at(pos_ + 1) == '*') {
          ++depth;
          moveTo(pos_ + 2);
        } else if (text_[pos_] == '*' && at(pos_ + 1) == '/') {
          --depth;
          moveTo(pos_ + 2);
        } else {
          moveTo(pos_ + 1);
        }
      } while (depth > 0);
    } else {
      return;
    }
  }
}

std::string Lexer::quoted(char close, bool isString) {
  const Place open{pos_, line_};
  std::string value;
  moveTo(pos_ + 1);
  while (true) {
    const std::size_t found = text_.find(close, pos_);
    if (found == std::string_view::npos) {
      if (isString)
        fail(Problem::UnclosedString, 105,
             "Unclosed quotation mark after the character string '" + value + std::string(text_.substr(pos_)) + "'.",
             open);
      fail(Problem::UnclosedName, 105,
           "Unclosed quotation mark before the character string '" + std::string(text_.substr(open.offset)) + "'.",
           open);
    }
    value.append(text_.substr(pos_, found - pos_));
    moveTo(found + 1);
    if (at(pos_) != close) return value;
    value += close;  // a doubled one stands for itself
    moveTo(pos_ + 1);
  }
}

void Lexer::read(Token& token) {
  const unsigned char c = static_cast<unsigned char>(text_[pos_]);
  if ((c == 'N' || c == 'n') && at(pos_ + 1) == '\'') {
    moveTo(pos_ + 1);
    token.kind = Token::Kind::NString;
    token.text = quoted('\'', true);
  } else if (c == '\'') {
    token.kind = Token::Kind::String;
    token.text = quoted('\'', true);
  } else if (c == '[' || c == '"') {
    token.kind = Token::Kind::QuotedName;
    token.text = quoted(c == '[' ? ']' : '"', false);
  } else if (c == '@') {
    const bool global = at(pos_ + 1) == '@';
    std::size_t end = pos_ + (global ? 2 : 1);
    while (end < text_.size() && isNamePart(static_cast<unsigned char>(text_[end]))) ++end;
    token.kind = global ? Token::Kind::GlobalVariable : Token::Kind::Variable;
    token.text = lowered(text_.substr(pos_ + (global ? 2 : 0), end - pos_ - (global ? 2 : 0)));
    moveTo(end);
  } else if (std::isdigit(c) || (c == '.' && std::isdigit(static_cast<unsigned char>(at(pos_ + 1))))) {
    std::size_t end = pos_;
    while (end < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[end])) || text_[end] == '.')) ++end;
    token.kind = Token::Kind::Number;
    token.text = std::string(text_.substr(pos_, end - pos_));
    moveTo(end);
  } else if (isNameStart(c)) {
    std::size_t end = pos_;
    while (end < text_.size() && isNamePart(static_cast<unsigned char>(text_[end]))) ++end;
    token.kind = Token::Kind::Word;
    token.text = lowered(text_.substr(pos_, end - pos_));
    moveTo(end);
  } else {
    token.kind = Token::Kind::Symbol;
    for (const char* pair : {">=", "<=", "<>", "!=", "!<", "!>"})
      if (text_.substr(pos_, 2) == pair) {
        token.text = pair;
        moveTo(pos_ + 2);
        return;
      }
    token.text = std::string(1, static_cast<char>(c));
    moveTo(pos_ + 1);
  }
}

Token Lexer::next() {
  skipSpaceAndComments();
  Token token;
  token.place = Place{pos_, line_};
  if (pos_ < text_.size()) read(token);
  token.end = pos_;
  return token;
}

}  // namespace tsql
