#include "embedded/filter.h"

namespace adsi {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  bool parse(FilterNode& out, std::string& reason) {
    skipSpaces();
    bool ok;
    if (i_ < s_.size() && s_[i_] == '(') {
      ok = filter(out);
    } else {
      ok = item(out, /*closing=*/false);  // a bare item, without parentheses
    }
    skipSpaces();
    if (ok && i_ != s_.size()) ok = error("unexpected text after the filter");
    if (!ok) reason = reason_ + " at offset " + std::to_string(errorAt_);
    return ok;
  }

 private:
  bool error(const char* what) {
    if (reason_.empty()) {
      reason_ = what;
      errorAt_ = i_;
    }
    return false;
  }
  void skipSpaces() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
  }
  bool expect(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  bool filter(FilterNode& out) {
    if (++depth_ > 256) return error("filter nested too deeply");
    if (!expect('(')) return error("expected '('");
    skipSpaces();
    bool ok;
    if (i_ < s_.size() && (s_[i_] == '&' || s_[i_] == '|')) {
      out.kind = s_[i_++] == '&' ? FilterKind::And : FilterKind::Or;
      ok = list(out);
    } else if (expect('!')) {
      out.kind = FilterKind::Not;
      out.children.emplace_back();
      skipSpaces();
      ok = filter(out.children.back());
      skipSpaces();
    } else {
      ok = item(out, /*closing=*/true);
    }
    if (ok && !expect(')')) ok = error("expected ')'");
    --depth_;
    return ok;
  }

  bool list(FilterNode& out) {
    skipSpaces();
    while (i_ < s_.size() && s_[i_] == '(') {
      out.children.emplace_back();
      if (!filter(out.children.back())) return false;
      skipSpaces();
    }
    return true;  // "(&)" and "(|)" are the absolute true and false
  }

  static bool isDescriptionChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ';' ||
           c == '.' || c == '_';
  }

  bool item(FilterNode& out, bool closing) {
    size_t start = i_;
    while (i_ < s_.size() && isDescriptionChar(s_[i_])) ++i_;
    out.attribute.assign(s_.substr(start, i_ - start));
    if (i_ < s_.size() && s_[i_] == ':') return extensible(out);
    if (out.attribute.empty()) return error("missing attribute name");
    skipSpaces();
    if (i_ >= s_.size()) return error("missing operator");
    char op = s_[i_];
    if (op == '>' || op == '<' || op == '~') {
      ++i_;
      if (!expect('=')) return error("expected '=' after the operator");
      out.kind = op == '>' ? FilterKind::GreaterOrEqual : op == '<' ? FilterKind::LessOrEqual : FilterKind::Approx;
      return value(out.value, /*starsAllowed=*/false);
    }
    if (!expect('=')) return error("expected '=', '>=', '<=' or '~='");
    // Equality, presence or substrings, told apart by unescaped stars.
    std::vector<std::string> pieces(1);
    while (i_ < s_.size() && s_[i_] != ')') {
      if (s_[i_] == '*') {
        ++i_;
        pieces.emplace_back();
        continue;
      }
      if (!valueChar(pieces.back())) return false;
    }
    if (!closing && i_ < s_.size()) return error("unexpected ')'");
    if (pieces.size() == 1) {
      out.kind = FilterKind::Equality;
      out.value = std::move(pieces[0]);
    } else if (pieces.size() == 2 && pieces[0].empty() && pieces[1].empty()) {
      out.kind = FilterKind::Present;
    } else {
      out.kind = FilterKind::Substrings;
      out.hasInitial = !pieces.front().empty();
      out.initial = pieces.front();
      out.hasFinal = !pieces.back().empty();
      out.final = pieces.back();
      for (size_t k = 1; k + 1 < pieces.size(); ++k) {
        if (pieces[k].empty()) return error("empty substring between two '*'");
        out.any.push_back(pieces[k]);
      }
    }
    return true;
  }

  bool extensible(FilterNode& out) {
    out.kind = FilterKind::Extensible;
    while (expect(':')) {
      if (expect('=')) {
        if (out.attribute.empty() && out.rule.empty())
          return error("an extensible match needs an attribute or a matching rule");
        return value(out.value, false);
      }
      size_t start = i_;
      while (i_ < s_.size() && isDescriptionChar(s_[i_])) ++i_;
      std::string_view word = s_.substr(start, i_ - start);
      if (word.empty()) return error("empty matching rule");
      if ((word == "dn" || word == "DN") && !out.dnAttributes && out.rule.empty()) {
        out.dnAttributes = true;
      } else if (out.rule.empty()) {
        out.rule.assign(word);
      } else {
        return error("more than one matching rule");
      }
    }
    return error("expected ':=' in an extensible match");
  }

  bool value(std::string& out, bool starsAllowed) {
    while (i_ < s_.size() && s_[i_] != ')') {
      if (s_[i_] == '*' && !starsAllowed) return error("'*' must be escaped as \\2a");
      if (!valueChar(out)) return false;
    }
    return true;
  }

  static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool valueChar(std::string& out) {
    char c = s_[i_];
    if (c == '(') return error("'(' must be escaped as \\28");
    if (c == '\\') {
      int hi = i_ + 1 < s_.size() ? hex(s_[i_ + 1]) : -1;
      int lo = i_ + 2 < s_.size() ? hex(s_[i_ + 2]) : -1;
      if (hi < 0 || lo < 0) return error("'\\' must be followed by two hexadecimal digits");
      out += static_cast<char>(hi * 16 + lo);
      i_ += 3;
      return true;
    }
    out += c;
    ++i_;
    return true;
  }

  std::string_view s_;
  size_t i_ = 0;
  int depth_ = 0;
  std::string reason_;
  size_t errorAt_ = 0;
};

}  // namespace

bool parseFilter(std::string_view text, FilterNode& out, std::string& reason) {
  out = FilterNode();
  if (text.find_first_not_of(' ') == std::string_view::npos) {
    reason = "empty filter";
    return false;
  }
  return Parser(text).parse(out, reason);
}

}  // namespace adsi
