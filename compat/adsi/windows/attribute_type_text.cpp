// RFC 4512 AttributeTypeDescriptions for the Windows build, which has no
// libldap. As lenient as the Linux build (libldap with LDAP_SCHEMA_ALLOW_ALL)
// about a missing or quoted OID and the order of the fields; the reasons of a
// failure are worded in the same way but are this parser's own.
#include <cctype>
#include <string_view>

#include "schema/attribute_type_text.h"
#include "text.h"

namespace adsi {
namespace {

class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  // The next token: "(", ")", a quoted string (with its quotes) or a bare
  // word; empty at the end.
  std::string_view next() {
    skipSpaces();
    start_ = pos_;
    if (pos_ >= text_.size()) return {};
    char c = text_[pos_];
    if (c == '(' || c == ')') return text_.substr(pos_++, 1);
    if (c == '\'') {
      size_t close = text_.find('\'', pos_ + 1);
      if (close == std::string_view::npos) {
        pos_ = text_.size();
        return text_.substr(start_);
      }
      pos_ = close + 1;
      return text_.substr(start_, pos_ - start_);
    }
    while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
           text_[pos_] != '(' && text_[pos_] != ')' && text_[pos_] != '\'')
      ++pos_;
    return text_.substr(start_, pos_ - start_);
  }

  // Where the last token began, for the reason of a failure.
  std::string_view fromLast() const { return text_.substr(start_); }
  bool atEnd() {
    skipSpaces();
    return pos_ >= text_.size();
  }

 private:
  void skipSpaces() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
  size_t start_ = 0;
};

bool quoted(std::string_view token) {
  return token.size() >= 2 && token.front() == '\'' && token.back() == '\'';
}

std::string unquoted(std::string_view token) {
  return std::string(quoted(token) ? token.substr(1, token.size() - 2) : token);
}

bool bareWord(std::string_view token) { return !token.empty() && token != "(" && token != ")"; }

// One quoted string or a parenthesised list of them (NAME, X- extensions).
bool readStrings(Tokens& tokens, std::vector<std::string>* into) {
  std::string_view token = tokens.next();
  if (quoted(token)) {
    if (into) into->push_back(unquoted(token));
    return true;
  }
  if (token != "(") return false;
  for (token = tokens.next(); quoted(token); token = tokens.next())
    if (into) into->push_back(unquoted(token));
  return token == ")";
}

// One OID or name, bare or quoted (SUP, EQUALITY, ORDERING, SUBSTR, SYNTAX).
bool readOid(Tokens& tokens, std::string& into) {
  std::string_view token = tokens.next();
  if (!bareWord(token) || (token.front() == '\'' && !quoted(token))) return false;
  into = unquoted(token);
  return !into.empty();
}

bool extension(std::string_view token) {
  return token.size() > 2 && (token[0] == 'X' || token[0] == 'x') && token[1] == '-';
}

bool keyword(std::string_view token) {
  static const char* const words[] = {"NAME", "DESC", "OBSOLETE", "SUP", "EQUALITY",
                                      "ORDERING", "SUBSTR", "SYNTAX", "SINGLE-VALUE",
                                      "COLLECTIVE", "NO-USER-MODIFICATION", "USAGE"};
  for (const char* word : words)
    if (equalsIgnoreCase(token, word)) return true;
  return extension(token);
}

}  // namespace

bool parseAttributeTypeText(const std::string& description, AttributeTypeText& out,
                            std::string& reason) {
  out = AttributeTypeText();
  Tokens tokens(description);
  auto fail = [&](const char* what) {
    std::string_view rest = tokens.fromLast();
    reason = std::string("attribute type definition does not parse (") + what +
             (rest.empty() ? ")" : " near '" + std::string(rest) + "')");
    return false;
  };
  if (tokens.next() != "(") return fail("Missing opening parenthesis");
  std::string_view token = tokens.next();
  if (bareWord(token) && !keyword(token)) {
    out.oid = unquoted(token);
    token = tokens.next();
  }
  for (;; token = tokens.next()) {
    if (token.empty()) return fail("Unexpected end of data");
    if (token == ")") break;
    bool ok = true;
    if (equalsIgnoreCase(token, "NAME")) {
      ok = readStrings(tokens, &out.names);
    } else if (equalsIgnoreCase(token, "DESC")) {
      ok = quoted(tokens.next());
    } else if (equalsIgnoreCase(token, "SUP")) {
      ok = readOid(tokens, out.superior);
    } else if (equalsIgnoreCase(token, "EQUALITY")) {
      ok = readOid(tokens, out.equality);
    } else if (equalsIgnoreCase(token, "ORDERING") || equalsIgnoreCase(token, "SUBSTR") ||
               equalsIgnoreCase(token, "USAGE")) {
      std::string ignored;
      ok = readOid(tokens, ignored);
    } else if (equalsIgnoreCase(token, "SYNTAX")) {
      ok = readOid(tokens, out.syntax);
      out.syntax = out.syntax.substr(0, out.syntax.find('{'));  // no length bound
    } else if (equalsIgnoreCase(token, "OBSOLETE") || equalsIgnoreCase(token, "SINGLE-VALUE") ||
               equalsIgnoreCase(token, "COLLECTIVE") ||
               equalsIgnoreCase(token, "NO-USER-MODIFICATION")) {
    } else if (extension(token)) {
      ok = readStrings(tokens, nullptr);
    } else {
      return fail("Unexpected token");
    }
    if (!ok) return fail("Unexpected token");
  }
  if (!tokens.atEnd()) {
    tokens.next();
    return fail("Unexpected token");
  }
  return true;
}

}  // namespace adsi
