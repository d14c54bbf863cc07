#include "store/dn.h"

#include <algorithm>

#include "text.h"

namespace adsi {
namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }
bool isTypeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == ';' || c == '_';
}

void skipSpaces(std::string_view s, size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
}

bool parseValue(std::string_view s, size_t& i, std::string& value) {
  if (i < s.size() && s[i] == '"') {  // RFC 1779 quoted value
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] == '\\') {
        if (++i >= s.size()) return false;
      }
      value += s[i];
    }
    if (i >= s.size()) return false;
    ++i;
    skipSpaces(s, i);
    return true;
  }
  size_t significantEnd = 0;  // value length without trailing unescaped spaces
  while (i < s.size() && s[i] != ',' && s[i] != ';' && s[i] != '+') {
    char c = s[i];
    if (c == '\\') {
      if (i + 1 >= s.size()) return false;
      if (isHex(s[i + 1])) {
        if (i + 2 >= s.size() || !isHex(s[i + 2])) return false;
        value += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
        i += 3;
      } else {
        value += s[i + 1];
        i += 2;
      }
      significantEnd = value.size();
      continue;
    }
    value += c;
    if (c != ' ') significantEnd = value.size();
    ++i;
  }
  value.resize(significantEnd);
  return true;
}

std::string escapeKey(std::string_view v) {
  std::string out;
  for (char c : v) {
    if (c == ',' || c == '+' || c == '\\' || c == '=') out += '\\';
    out += c;
  }
  return out;
}

// RFC 4514's characters to escape anywhere in a value; '#' and ' ' only
// where they would otherwise be read differently.
bool escapedAnywhere(char c) {
  return c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' || c == '=';
}

}  // namespace

std::string showDn(std::string_view dn) {
  if (dn.find('\\') == std::string_view::npos) return std::string(dn);
  std::string out;
  out.reserve(dn.size());
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] != '\\' || i + 1 >= dn.size()) {
      out += dn[i];
      continue;
    }
    if (i + 2 < dn.size() && isHex(dn[i + 1]) && isHex(dn[i + 2])) {
      char c = static_cast<char>(hexValue(dn[i + 1]) * 16 + hexValue(dn[i + 2]));
      bool valueStart = !out.empty() && out.back() == '=';
      bool valueEnd = i + 3 == dn.size() || dn[i + 3] == ',' || dn[i + 3] == '+';
      if (escapedAnywhere(c) || (c == '#' && valueStart) || (c == ' ' && (valueStart || valueEnd))) {
        out += '\\';
        out += c;
        i += 2;
        continue;
      }
    }
    out += dn[i];  // the escape as written, and the character it escapes
    out += dn[++i];
  }
  return out;
}

bool parseDn(std::string_view dn, std::vector<Rdn>& rdns) {
  rdns.clear();
  size_t i = 0;
  skipSpaces(dn, i);
  if (i == dn.size()) return true;
  Rdn rdn;
  size_t rdnStart = i;
  while (true) {
    skipSpaces(dn, i);
    size_t typeStart = i;
    while (i < dn.size() && isTypeChar(dn[i])) ++i;
    Ava ava;
    ava.type.assign(dn.substr(typeStart, i - typeStart));
    skipSpaces(dn, i);
    if (ava.type.empty() || i >= dn.size() || dn[i] != '=') return false;
    ++i;
    skipSpaces(dn, i);
    if (!parseValue(dn, i, ava.value)) return false;
    rdn.avas.push_back(std::move(ava));
    if (i < dn.size() && dn[i] == '+') {
      ++i;
      continue;
    }
    size_t end = i;
    while (end > rdnStart && dn[end - 1] == ' ' && (end < 2 || dn[end - 2] != '\\')) --end;
    rdn.text.assign(dn.substr(rdnStart, end - rdnStart));
    rdns.push_back(std::move(rdn));
    rdn = Rdn();
    if (i >= dn.size()) return true;
    ++i;  // ',' or ';'
    skipSpaces(dn, i);
    rdnStart = i;
    if (i >= dn.size()) return false;  // a trailing separator
  }
}

std::string normalizeRdns(const std::vector<Rdn>& rdns, size_t first) {
  std::string out;
  for (size_t r = first; r < rdns.size(); ++r) {
    std::vector<std::string> parts;
    for (const Ava& a : rdns[r].avas) parts.push_back(lowerAscii(a.type) + "=" + escapeKey(caseIgnoreKey(a.value)));
    std::sort(parts.begin(), parts.end());
    if (r > first) out += ',';
    for (size_t k = 0; k < parts.size(); ++k) {
      if (k) out += '+';
      out += parts[k];
    }
  }
  return out;
}

bool normalizeDn(std::string_view dn, std::string& normalized) {
  std::vector<Rdn> rdns;
  if (!parseDn(dn, rdns)) {
    normalized.clear();
    return false;
  }
  normalized = normalizeRdns(rdns);
  return true;
}

std::string joinRdns(const std::vector<Rdn>& rdns, size_t first) {
  std::string out;
  for (size_t r = first; r < rdns.size(); ++r) {
    if (r > first) out += ',';
    out += rdns[r].text;
  }
  return out;
}

size_t firstRdnEnd(std::string_view dn) {
  bool valueStart = false;  // after '=' and the spaces that follow it
  for (size_t i = 0; i < dn.size(); ++i) {
    const char c = dn[i];
    if (c == '\\') {
      ++i;  // an escaped character, or the first digit of a hex pair
      valueStart = false;
    } else if (c == '"' && valueStart) {  // RFC 1779 quoted value, to its closing quote
      for (++i; i < dn.size() && dn[i] != '"'; ++i)
        if (dn[i] == '\\') ++i;
      valueStart = false;
    } else if (c == ',' || c == ';') {
      return i;
    } else if (c == '=' || (c == ' ' && valueStart)) {
      valueStart = true;
    } else {
      valueStart = false;
    }
  }
  return std::string_view::npos;
}

}  // namespace adsi
