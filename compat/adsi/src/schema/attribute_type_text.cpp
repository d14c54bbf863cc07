// A reader of RFC 4512 AttributeTypeDescriptions, the same on every
// platform. It reads token by token without recursion, so any text, however
// long or deeply parenthesised, costs time in proportion to its length.
#include "schema/attribute_type_text.h"

#include <cstddef>

#include "ascii_text.h"

namespace adsi {
namespace {

// Enough of the text after a fault to find it, not a whole hostile value.
constexpr size_t kShownBytes = 64;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A byte of a bare word: printable, not a parenthesis or quote.
bool isWordByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7F && c != '(' && c != ')' && c != '\'';
}

bool isExtension(std::string_view word) {
  return word.size() > 2 && (word[0] == 'X' || word[0] == 'x') && word[1] == '-';
}

// A qdstring's escapes: \27 is a quote, \5C a backslash; any other
// backslash stays as it is.
std::string unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const std::string_view next = text.substr(i, 3);
    if (next == "\\27") {
      out += '\'';
      i += 2;
    } else if (equalsIgnoreCase(next, "\\5C")) {
      out += '\\';
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

enum class Kind { End, Open, Close, Quoted, Word, Unterminated, Bad };

struct Token {
  Kind kind = Kind::End;
  std::string_view text;  // a word, or a quoted string without its quotes
  size_t at = 0;          // where the token begins
};

class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  Token next() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    Token token;
    token.at = pos_;
    if (pos_ == text_.size()) return token;
    const char c = text_[pos_];
    if (c == '(' || c == ')') {
      token.kind = c == '(' ? Kind::Open : Kind::Close;
      ++pos_;
    } else if (c == '\'') {
      // An escaped qdstring holds no quote, so the next one closes it.
      const size_t close = text_.find('\'', pos_ + 1);
      if (close == std::string_view::npos) {
        token.kind = Kind::Unterminated;
        pos_ = text_.size();
      } else {
        token.kind = Kind::Quoted;
        token.text = text_.substr(pos_ + 1, close - pos_ - 1);
        pos_ = close + 1;
      }
    } else if (!isWordByte(c)) {
      token.kind = Kind::Bad;  // a control byte
      ++pos_;
    } else {
      while (pos_ < text_.size() && isWordByte(text_[pos_])) ++pos_;
      token.kind = Kind::Word;
      token.text = text_.substr(token.at, pos_ - token.at);
    }
    return token;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

enum Field {
  kName,
  kDesc,
  kObsolete,
  kSup,
  kEquality,
  kOrdering,
  kSubstr,
  kSyntax,
  kSingleValue,
  kCollective,
  kNoUserModification,
  kUsage,
  kFieldCount
};
constexpr const char* kFieldWords[kFieldCount] = {"NAME",
                                                  "DESC",
                                                  "OBSOLETE",
                                                  "SUP",
                                                  "EQUALITY",
                                                  "ORDERING",
                                                  "SUBSTR",
                                                  "SYNTAX",
                                                  "SINGLE-VALUE",
                                                  "COLLECTIVE",
                                                  "NO-USER-MODIFICATION",
                                                  "USAGE"};

int fieldOf(std::string_view word) {
  for (int f = 0; f < kFieldCount; ++f)
    if (equalsIgnoreCase(word, kFieldWords[f])) return f;
  return -1;
}

class Parser {
 public:
  Parser(std::string_view text, AttributeTypeText& out, std::string& reason)
      : text_(text), tokens_(text), out_(out), reason_(reason) {}

  bool parse() {
    out_ = AttributeTypeText();
    Token token = tokens_.next();
    if (token.kind != Kind::Open) return fail("Missing opening parenthesis", token.at);
    token = tokens_.next();
    const bool keyword = token.kind == Kind::Word && (fieldOf(token.text) >= 0 || isExtension(token.text));
    if ((token.kind == Kind::Word || token.kind == Kind::Quoted) && !keyword) {
      if (!identifier(token, out_.oid)) return false;
      token = tokens_.next();
    }
    unsigned seen = 0;
    for (; token.kind != Kind::Close; token = tokens_.next()) {
      if (token.kind != Kind::Word) return unexpected(token);
      if (isExtension(token.text)) {
        if (!strings(nullptr)) return false;
        continue;
      }
      const int field = fieldOf(token.text);
      if (field < 0) return unexpected(token);
      if (seen & (1u << field)) return fail("Duplicate option", token.at);
      seen |= 1u << field;
      if (!value(field)) return false;
    }
    token = tokens_.next();
    if (token.kind != Kind::End) return unexpected(token);
    return true;
  }

 private:
  bool value(int field) {
    std::string ignored;
    switch (field) {
      case kName: return strings(&out_.names);
      case kDesc: {
        const Token token = tokens_.next();
        return token.kind == Kind::Quoted || unexpected(token);
      }
      case kSup: return identifier(tokens_.next(), out_.superior);
      case kEquality: return identifier(tokens_.next(), out_.equality);
      case kOrdering:
      case kSubstr: return identifier(tokens_.next(), ignored);
      case kSyntax: return syntax();
      case kUsage: return usage();
      case kSingleValue: out_.singleValue = true; return true;
      case kNoUserModification: out_.noUserModification = true; return true;
      default: return true;  // OBSOLETE, COLLECTIVE
    }
  }

  // An OID or a name, bare or quoted.
  bool identifier(const Token& token, std::string& into) {
    if (token.kind != Kind::Word && token.kind != Kind::Quoted) return unexpected(token);
    if (token.text.empty()) return fail("Unexpected token", token.at);
    for (char c : token.text)
      if (!isWordByte(c)) return fail("Unexpected token", token.at);
    into = std::string(token.text);
    return true;
  }

  // One qdstring, or a parenthesised list of them (NAME, X- extensions).
  bool strings(std::vector<std::string>* into) {
    Token token = tokens_.next();
    if (token.kind == Kind::Quoted) {
      if (into) into->push_back(unescaped(token.text));
      return true;
    }
    if (token.kind != Kind::Open) return unexpected(token);
    for (token = tokens_.next(); token.kind == Kind::Quoted; token = tokens_.next())
      if (into) into->push_back(unescaped(token.text));
    return token.kind == Kind::Close || unexpected(token);
  }

  // An OID with an optional length bound: 1.3.6.1.4.1.1466.115.121.1.15{256}.
  bool syntax() {
    const Token token = tokens_.next();
    std::string noidlen;
    if (!identifier(token, noidlen)) return false;
    const size_t brace = noidlen.find('{');
    if (brace != std::string::npos) {
      const std::string_view bound = std::string_view(noidlen).substr(brace + 1);
      if (brace == 0 || bound.size() < 2 || bound.back() != '}') return fail("Unexpected token", token.at);
      for (char c : bound.substr(0, bound.size() - 1))
        if (c < '0' || c > '9') return fail("Unexpected token", token.at);
    }
    out_.syntax = noidlen.substr(0, brace);
    return true;
  }

  bool usage() {
    const Token token = tokens_.next();
    std::string word;
    if (!identifier(token, word)) return false;
    if (equalsIgnoreCase(word, "userApplications")) return true;
    out_.operational = true;
    for (const char* known : {"directoryOperation", "distributedOperation", "dSAOperation"})
      if (equalsIgnoreCase(word, known)) return true;
    return fail("Unexpected token", token.at);
  }

  bool unexpected(const Token& token) {
    const bool ended = token.kind == Kind::End || token.kind == Kind::Unterminated;
    return fail(ended ? "Unexpected end of data" : "Unexpected token", token.at);
  }

  bool fail(const char* what, size_t at) {
    std::string_view rest = text_.substr(at);
    std::string shown(rest.substr(0, kShownBytes));
    if (rest.size() > kShownBytes) {
      // Cut at the start of a UTF-8 character, not inside one.
      size_t cut = kShownBytes;
      while (cut > 0 && (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80) --cut;
      shown = std::string(rest.substr(0, cut)) + "...";
    }
    reason_ = std::string("attribute type definition does not parse (") + what +
              (rest.empty() ? ")" : " near '" + shown + "')");
    out_ = AttributeTypeText();
    return false;
  }

  std::string_view text_;
  Tokens tokens_;
  AttributeTypeText& out_;
  std::string& reason_;
};

}  // namespace

bool parseAttributeTypeText(std::string_view description, AttributeTypeText& out, std::string& reason) {
  return Parser(description, out, reason).parse();
}

}  // namespace adsi
