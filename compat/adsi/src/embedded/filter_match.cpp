#include "embedded/filter_match.h"

#include <deque>

#include "schema/value_convert.h"
#include "store/dn.h"
#include "text.h"

namespace adsi {
namespace {

constexpr const char* kBitAnd = "1.2.840.113556.1.4.803";
constexpr const char* kBitOr = "1.2.840.113556.1.4.804";
constexpr const char* kInChain = "1.2.840.113556.1.4.1941";

enum class Rule { CaseIgnore, CaseExact, Dn, Integer, Integer32, Boolean, Time, Octets, Unknown };

Rule ruleForType(ADSTYPE type) {
  switch (type) {
    case ADSTYPE_CASE_EXACT_STRING: return Rule::CaseExact;
    case ADSTYPE_DN_STRING: return Rule::Dn;
    case ADSTYPE_INTEGER: return Rule::Integer32;
    case ADSTYPE_LARGE_INTEGER: return Rule::Integer;
    case ADSTYPE_BOOLEAN: return Rule::Boolean;
    case ADSTYPE_UTC_TIME: return Rule::Time;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR: return Rule::Octets;
    default: return Rule::CaseIgnore;
  }
}

struct NamedRule {
  const char* name;
  const char* oid;
  Rule rule;
};
constexpr NamedRule kNamedRules[] = {
    {"caseIgnoreMatch", "2.5.13.2", Rule::CaseIgnore},
    {"caseIgnoreIA5Match", "1.3.6.1.4.1.1466.109.114.2", Rule::CaseIgnore},
    {"numericStringMatch", "2.5.13.8", Rule::CaseIgnore},
    {"caseExactMatch", "2.5.13.5", Rule::CaseExact},
    {"caseExactIA5Match", "1.3.6.1.4.1.1466.109.114.1", Rule::CaseExact},
    {"distinguishedNameMatch", "2.5.13.1", Rule::Dn},
    {"integerMatch", "2.5.13.14", Rule::Integer},
    {"booleanMatch", "2.5.13.13", Rule::Boolean},
    {"octetStringMatch", "2.5.13.17", Rule::Octets},
    {"generalizedTimeMatch", "2.5.13.27", Rule::Time},
};

Rule ruleForName(std::string_view name) {
  for (const NamedRule& r : kNamedRules)
    if (equalsIgnoreCase(name, r.name) || name == r.oid) return r.rule;
  return Rule::Unknown;
}

bool readInteger(Rule rule, std::string_view raw, int64_t& v) {
  if (!parseInteger(raw, v)) return false;
  if (rule == Rule::Integer32) {
    if (v < INT32_MIN || v > UINT32_MAX) return false;
    v = static_cast<int32_t>(static_cast<uint32_t>(v));
  }
  return true;
}

bool readBoolean(std::string_view raw, bool& v) {
  if (equalsIgnoreCase(raw, "TRUE"))
    v = true;
  else if (equalsIgnoreCase(raw, "FALSE"))
    v = false;
  else
    return false;
  return true;
}

bool readTime(std::string_view raw, int64_t& millis) {
  SYSTEMTIME t;
  if (!parseDirectoryTime(raw, t)) return false;
  millis = secondsSinceEpoch(t) * 1000 + t.wMilliseconds;
  return true;
}

// The key a value compares under; false when the value is not of the rule's
// syntax.
bool keyFor(Rule rule, std::string_view raw, std::string& key) {
  switch (rule) {
    case Rule::CaseIgnore: key = caseIgnoreKey(raw); return true;
    case Rule::CaseExact: key = caseExactKey(raw); return true;
    case Rule::Dn: return normalizeDn(raw, key);
    case Rule::Octets: key.assign(raw); return true;
    default: return false;
  }
}

// -1, 0 or 1; 2 when the values cannot be compared under the rule.
int compareUnder(Rule rule, std::string_view stored, std::string_view assertion) {
  auto sign = [](auto a, auto b) { return a < b ? -1 : a > b ? 1 : 0; };
  switch (rule) {
    case Rule::Integer:
    case Rule::Integer32: {
      int64_t a, b;
      if (!readInteger(rule, assertion, b) || !readInteger(rule, stored, a)) return 2;
      return sign(a, b);
    }
    case Rule::Time: {
      int64_t a, b;
      if (!readTime(assertion, b) || !readTime(stored, a)) return 2;
      return sign(a, b);
    }
    case Rule::Boolean: {
      bool a, b;
      if (!readBoolean(assertion, b) || !readBoolean(stored, a)) return 2;
      return sign(a, b);
    }
    default: {
      std::string a, b;
      if (!keyFor(rule, assertion, b) || !keyFor(rule, stored, a)) return 2;
      return sign(a.compare(b), 0);
    }
  }
}

bool substringsMatch(const FilterNode& f, std::string_view value) {
  size_t pos = 0;
  if (f.hasInitial) {
    if (value.substr(0, f.initial.size()) != f.initial) return false;
    pos = f.initial.size();
  }
  for (const std::string& piece : f.any) {
    size_t found = value.find(piece, pos);
    if (found == std::string_view::npos) return false;
    pos = found + piece.size();
  }
  if (f.hasFinal) return value.size() >= pos + f.final.size() && value.substr(value.size() - f.final.size()) == f.final;
  return true;
}

std::string withoutSpaces(std::string_view v) {
  std::string out;
  for (char c : v)
    if (c != ' ') out += c;
  return out;
}

// The values an item is tested against: the attribute's, and with ":dn" the
// AVAs of the entry's own name.
struct Candidate {
  std::string_view value;
  ADSTYPE type;
  std::string_view attribute;
};

}  // namespace

FilterMatcher::FilterMatcher(EmbeddedStore& store, FilterNode filter) : store_(store), filter_(std::move(filter)) {}

bool FilterMatcher::matches(const EmbeddedNode& node) { return eval(filter_, node) == Truth::True; }

FilterMatcher::Truth FilterMatcher::eval(const FilterNode& f, const EmbeddedNode& node) {
  switch (f.kind) {
    case FilterKind::And:
    case FilterKind::Or: {
      // One child decides (false for And, true for Or); otherwise any
      // undecided child leaves the whole undecided.
      Truth decisive = f.kind == FilterKind::And ? Truth::False : Truth::True;
      Truth result = f.kind == FilterKind::And ? Truth::True : Truth::False;
      for (const FilterNode& c : f.children) {
        Truth t = eval(c, node);
        if (t == decisive) return t;
        if (t == Truth::Undefined) result = t;
      }
      return result;
    }
    case FilterKind::Not: {
      Truth t = eval(f.children[0], node);
      return t == Truth::True ? Truth::False : t == Truth::False ? Truth::True : t;
    }
    case FilterKind::Extensible: return evalExtensible(f, node);
    default: return evalItem(f, node);
  }
}

FilterMatcher::Truth FilterMatcher::evalItem(const FilterNode& f, const EmbeddedNode& node) {
  const Attribute* attribute = node.entry->find(f.attribute);
  if (f.kind == FilterKind::Present) return attribute && !attribute->values.empty() ? Truth::True : Truth::False;
  if (!attribute) return Truth::False;
  Rule rule = ruleForType(attribute->type);
  bool anyUndefined = false;
  for (const std::string& stored : attribute->values) {
    int c;
    switch (f.kind) {
      case FilterKind::Equality:
        if (rule == Rule::Dn && f.value.find('=') == std::string::npos &&
            equalsIgnoreCase(f.attribute, "objectCategory")) {
          // "objectCategory=person", as Active Directory reads it: the
          // category's short name.
          std::vector<Rdn> rdns;
          if (parseDn(stored, rdns) && !rdns.empty() && caseIgnoreKey(rdns[0].avas[0].value) == caseIgnoreKey(f.value))
            return Truth::True;
          continue;
        }
        c = compareUnder(rule, stored, f.value);
        if (c == 0) return Truth::True;
        break;
      case FilterKind::GreaterOrEqual:
      case FilterKind::LessOrEqual:
        c = rule == Rule::Dn || rule == Rule::Boolean ? 2 : compareUnder(rule, stored, f.value);
        if (c != 2 && (f.kind == FilterKind::GreaterOrEqual ? c >= 0 : c <= 0)) return Truth::True;
        break;
      case FilterKind::Approx:
        if (rule == Rule::CaseIgnore || rule == Rule::CaseExact) {
          c = withoutSpaces(foldCase(stored)) == withoutSpaces(foldCase(f.value)) ? 0 : 1;
        } else {
          c = compareUnder(rule, stored, f.value);
        }
        if (c == 0) return Truth::True;
        break;
      case FilterKind::Substrings: {
        if (rule != Rule::CaseIgnore && rule != Rule::CaseExact && rule != Rule::Octets) {
          c = 2;
          break;
        }
        if (rule == Rule::Octets) {
          c = substringsMatch(f, stored) ? 0 : 1;
        } else {
          FilterNode folded = f;
          auto prepare = [rule](std::string_view v) { return rule == Rule::CaseIgnore ? foldCase(v) : std::string(v); };
          folded.initial = prepare(f.initial);
          folded.final = prepare(f.final);
          for (std::string& p : folded.any) p = prepare(p);
          c = substringsMatch(folded, prepare(stored)) ? 0 : 1;
        }
        if (c == 0) return Truth::True;
        break;
      }
      default: c = 2;
    }
    if (c == 2) anyUndefined = true;
  }
  return anyUndefined ? Truth::Undefined : Truth::False;
}

FilterMatcher::Truth FilterMatcher::evalExtensible(const FilterNode& f, const EmbeddedNode& node) {
  if (f.rule == kInChain) {
    std::string target;
    if (f.attribute.empty() || !normalizeDn(f.value, target)) return Truth::Undefined;
    return chain(f, target).count(node.normalizedDn) ? Truth::True : Truth::False;
  }
  // Every value the item applies to: one attribute's, or all of them.
  std::vector<Candidate> candidates;
  for (const Attribute& a : node.entry->attributes) {
    if (!f.attribute.empty() && !equalsIgnoreCase(a.name, f.attribute)) continue;
    for (const std::string& v : a.values) candidates.push_back({v, a.type, a.name});
  }
  std::vector<Rdn> rdns;
  if (f.dnAttributes && parseDn(node.entry->dn, rdns)) {
    for (const Rdn& r : rdns)
      for (const Ava& ava : r.avas)
        if (f.attribute.empty() || equalsIgnoreCase(ava.type, f.attribute))
          candidates.push_back({ava.value, store_.attributeType(ava.type), ava.type});
  }
  bool bitwise = f.rule == kBitAnd || f.rule == kBitOr;
  int64_t mask = 0;
  if (bitwise && !parseInteger(f.value, mask)) return Truth::Undefined;
  Rule named = f.rule.empty() ? Rule::Unknown : ruleForName(f.rule);
  if (!bitwise && !f.rule.empty() && named == Rule::Unknown) return Truth::Undefined;
  bool anyUndefined = false;
  for (const Candidate& c : candidates) {
    if (bitwise) {
      int64_t v;
      if (!parseInteger(c.value, v)) {
        anyUndefined = true;
        continue;
      }
      uint64_t bits = static_cast<uint64_t>(v), m = static_cast<uint64_t>(mask);
      if (c.type == ADSTYPE_INTEGER) {
        bits &= 0xFFFFFFFFu;
        m &= 0xFFFFFFFFu;
      }
      if (f.rule == kBitAnd ? (bits & m) == m : (bits & m) != 0) return Truth::True;
      continue;
    }
    Rule rule = named == Rule::Unknown ? ruleForType(c.type) : named;
    int result = compareUnder(rule, c.value, f.value);
    if (result == 0) return Truth::True;
    if (result == 2) anyUndefined = true;
  }
  return anyUndefined ? Truth::Undefined : Truth::False;
}

// The entries from which following `attribute` (directly or through others)
// reaches `target`. Group membership is stored on both sides in Active
// Directory (member on the group, memberOf on the member), so for those two
// attributes either side counts. Visited entries are not visited again, which
// makes membership cycles harmless.
const std::unordered_set<std::string>& FilterMatcher::chain(const FilterNode& f, const std::string& target) {
  auto cached = chains_.find(&f);
  if (cached != chains_.end()) return cached->second;
  std::unordered_set<std::string>& reached = chains_[&f];
  bool memberOf = equalsIgnoreCase(f.attribute, "memberOf");
  bool member = equalsIgnoreCase(f.attribute, "member") || equalsIgnoreCase(f.attribute, "uniqueMember");
  auto stepBack = [&](const std::string& dn, std::vector<std::string>& out) {
    out = store_.referrers(f.attribute, dn);
    const char* partners[] = {"member", "uniqueMember", "memberOf"};
    if (memberOf || member) {
      // The entry's own values of the other side of the pair.
      if (const EmbeddedNode* n = store_.find(dn)) {
        for (const char* partner : partners) {
          bool isMemberSide = !equalsIgnoreCase(partner, "memberOf");
          if (memberOf != isMemberSide) continue;
          if (const Attribute* a = n->entry->find(partner)) {
            for (const std::string& v : a->values) {
              std::string key;
              if (normalizeDn(v, key)) out.push_back(std::move(key));
            }
          }
        }
      }
    }
  };
  std::deque<std::string> queue{target};
  std::vector<std::string> step;
  while (!queue.empty()) {
    std::string dn = std::move(queue.front());
    queue.pop_front();
    stepBack(dn, step);
    for (std::string& s : step)
      if (reached.insert(s).second) queue.push_back(s);
  }
  return reached;
}

}  // namespace adsi
