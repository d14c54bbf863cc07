#include "ldap/reads_by_name.h"

#include <algorithm>
#include <unordered_map>

#include "ascii_text.h"
#include "ldap/ldap_pipeline.h"
#include "store/dn.h"

namespace adsi {

// One search for several names, all under one base.
struct ReadsByName::Batch {
  std::string base;
  int scope = LDAP_SCOPE_SUBTREE;
  std::string terms;          // one filter term per name
  std::vector<size_t> names;  // indexes of the names it looks for
};

namespace {

using Batch = ReadsByName::Batch;

// Whether `dn` as written lies under `suffix` as written: it ends with it,
// letters in any case, after a separator that is no escaped comma.
bool writtenUnder(std::string_view dn, std::string_view suffix) {
  if (suffix.empty() || dn.size() <= suffix.size() + 1) return false;
  const size_t at = dn.size() - suffix.size();
  if (dn[at - 1] != ',' || !equalsIgnoreCase(dn.substr(at), suffix)) return false;
  size_t backslashes = 0;
  for (size_t i = at - 1; i > 0 && dn[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

// The naming context that holds a name: the longest one it is written
// under, else the longest one its normalised form lies under. Empty when
// none does (a name of another server): then it is read on its own.
class NamingContexts {
 public:
  explicit NamingContexts(const std::vector<std::string>& contexts) {
    for (const std::string& dn : contexts) {
      std::string normalized;
      if (!dn.empty() && normalizeDn(dn, normalized)) contexts_.push_back({dn, normalized});
    }
  }

  const std::string* holding(const std::string& dn) const {
    const Context* best = nullptr;
    for (const Context& c : contexts_)
      if (writtenUnder(dn, c.dn) && (!best || c.dn.size() > best->dn.size())) best = &c;
    if (best) return &best->dn;
    std::string normalized;
    if (!normalizeDn(dn, normalized)) return nullptr;
    for (const Context& c : contexts_)
      if (writtenUnder(normalized, c.normalized) && (!best || c.normalized.size() > best->normalized.size())) best = &c;
    return best ? &best->dn : nullptr;
  }

 private:
  struct Context {
    std::string dn;
    std::string normalized;
  };
  std::vector<Context> contexts_;
};

// "(cn=Ann)", or "(&(cn=Ann)(uid=7))" for a multi-valued RDN.
std::string rdnFilter(const Rdn& rdn) {
  std::string terms;
  for (const Ava& ava : rdn.avas) terms += "(" + ava.type + "=" + escapeFilterValue(ava.value) + ")";
  return rdn.avas.size() == 1 ? terms : "(&" + terms + ")";
}

// One name as a batch takes it: where it is searched for, and by what.
struct Planned {
  size_t name;
  std::string base;
  std::string term;
};

// Puts each name in a batch: by the name attribute under the naming context
// that holds it, or else by its RDN under its container when the container
// holds another name of the list. The rest (a name that does not parse, that
// no naming context holds, alone in its container) are left to be read alone.
std::vector<Batch> planBatches(const std::string& nameAttribute, const NamingContexts& contexts,
                               const std::vector<std::string>& dns, std::vector<size_t>& alone) {
  const int scope = nameAttribute.empty() ? LDAP_SCOPE_ONELEVEL : LDAP_SCOPE_SUBTREE;
  std::vector<Planned> planned;
  std::unordered_map<std::string, size_t> namesUnder;  // by base, in any letter case
  std::vector<Rdn> rdns;
  for (size_t i = 0; i < dns.size(); ++i) {
    const std::string_view dn = dns[i];
    if (!nameAttribute.empty()) {
      const std::string* context = contexts.holding(dns[i]);
      if (!context) {
        alone.push_back(i);
        continue;
      }
      planned.push_back({i, *context, "(" + nameAttribute + "=" + escapeFilterValue(dn) + ")"});
    } else {
      const size_t end = firstRdnEnd(dn);
      if (end == std::string_view::npos || !parseDn(dn.substr(0, end), rdns) || rdns.size() != 1) {
        alone.push_back(i);
        continue;
      }
      std::string_view parent = dn.substr(end + 1);
      while (!parent.empty() && parent.front() == ' ') parent.remove_prefix(1);
      planned.push_back({i, std::string(parent), rdnFilter(rdns[0])});
    }
    ++namesUnder[lowerAscii(planned.back().base)];
  }
  std::vector<Batch> batches;
  std::unordered_map<std::string, size_t> open;  // the batch of a base that still takes names
  for (Planned& p : planned) {
    const std::string key = lowerAscii(p.base);
    if (namesUnder[key] < 2) {
      alone.push_back(p.name);  // a base read is the cheaper search
      continue;
    }
    auto [slot, added] = open.try_emplace(key, batches.size());
    if (added || batches[slot->second].names.size() == kNamesPerSearch) {
      slot->second = batches.size();
      batches.push_back(Batch{std::move(p.base), scope, {}, {}});
    }
    Batch& batch = batches[slot->second];
    batch.terms += p.term;
    batch.names.push_back(p.name);
  }
  // A name left over alone when its container's batches filled up: a base
  // read is the cheaper search.
  for (auto it = batches.begin(); it != batches.end();) {
    if (it->names.size() > 1) {
      ++it;
      continue;
    }
    alone.push_back(it->names.front());
    it = batches.erase(it);
  }
  return batches;
}

// Gives each name of the batch the entry the search returned for it: the
// entry whose DN is written alike, else the one whose DN is the same name
// written otherwise. Names it did not return go to `alone`.
void matchEntries(const Batch& batch, std::vector<EntryPtr>& found, const std::vector<std::string>& dns,
                  std::vector<EntryPtr>& entries, std::vector<size_t>& alone) {
  std::vector<std::pair<std::string_view, size_t>> byName;
  byName.reserve(batch.names.size());
  for (size_t i : batch.names) byName.emplace_back(dns[i], i);
  std::sort(byName.begin(), byName.end());
  std::vector<EntryPtr> otherwise;  // written otherwise than asked for
  for (EntryPtr& entry : found) {
    auto [first, last] = std::equal_range(byName.begin(), byName.end(), std::make_pair(std::string_view(entry->dn), 0),
                                          [](const auto& a, const auto& b) { return a.first < b.first; });
    if (first == last) otherwise.push_back(std::move(entry));
    for (; first != last; ++first) entries[first->second] = entry;
  }
  std::vector<std::pair<std::string, EntryPtr>> normalized;
  for (EntryPtr& entry : otherwise) {
    std::string key;
    if (normalizeDn(entry->dn, key)) normalized.emplace_back(std::move(key), std::move(entry));
  }
  for (size_t i : batch.names) {
    if (entries[i]) continue;
    std::string key;
    if (!normalized.empty() && normalizeDn(dns[i], key))
      for (const auto& [dn, entry] : normalized)
        if (dn == key) entries[i] = entry;
    if (!entries[i]) alone.push_back(i);
  }
}

}  // namespace

std::string escapeFilterValue(std::string_view value) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
      out += '\\';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// A base read of each name, in order, the answer as reading it alone gives it.
void readAlone(const std::vector<size_t>& alone, std::vector<PipelinedSearch>& reads, std::vector<EntryPtr>& entries,
               std::vector<int>& codes) {
  for (size_t r = 0; r < alone.size(); ++r) {
    const size_t i = alone[r];
    codes[i] = reads[r].code;
    if (codes[i] == LDAP_SUCCESS && reads[r].outcome.entries.empty()) codes[i] = LDAP_NO_SUCH_OBJECT;
    if (codes[i] == LDAP_SUCCESS) entries[i] = std::move(reads[r].outcome.entries.front());
  }
}

std::vector<PipelinedSearch> baseReads(const std::vector<size_t>& names, const std::vector<std::string>& dns,
                                       const Schema& schema) {
  std::vector<PipelinedSearch> reads;
  reads.reserve(names.size());
  for (size_t i : names) reads.push_back({entryReadArgs(dns[i], &schema), LDAP_SUCCESS, {}});
  return reads;
}

}  // namespace

ReadsByName::ReadsByName(LdapConnection& connection, const Schema& schema, std::vector<std::string> dns)
    : connection_(connection), schema_(schema), dns_(std::move(dns)) {
  batches_ = planBatches(schema.nameAttribute(), NamingContexts(connection.rootDse().namingContexts), dns_, alone_);
  std::vector<PipelinedSearch> searches;
  searches.reserve(batches_.size() + alone_.size());
  for (const Batch& batch : batches_) {
    PipelinedSearch search;
    search.args.base = batch.base;
    search.args.scope = batch.scope;
    search.args.filter = batch.names.size() == 1 ? batch.terms : "(|" + batch.terms + ")";
    search.args.schema = &schema;
    searches.push_back(std::move(search));
  }
  for (PipelinedSearch& read : baseReads(alone_, dns_, schema)) searches.push_back(std::move(read));
  pipeline_ = std::make_unique<SearchPipeline>(connection, std::move(searches), kSentAhead);
}

ReadsByName::~ReadsByName() = default;

void ReadsByName::finish(std::vector<EntryPtr>& entries, std::vector<int>& codes) {
  entries.assign(dns_.size(), nullptr);
  codes.assign(dns_.size(), LDAP_SUCCESS);
  std::vector<PipelinedSearch>& answers = pipeline_->collect();
  std::vector<size_t> notReturned;
  for (size_t b = 0; b < batches_.size(); ++b) {
    if (answers[b].code == LDAP_SUCCESS)
      matchEntries(batches_[b], answers[b].outcome.entries, dns_, entries, notReturned);
    else
      notReturned.insert(notReturned.end(), batches_[b].names.begin(), batches_[b].names.end());
  }
  std::vector<PipelinedSearch> reads(std::make_move_iterator(answers.begin() + batches_.size()),
                                     std::make_move_iterator(answers.end()));
  pipeline_.reset();
  readAlone(alone_, reads, entries, codes);
  std::sort(notReturned.begin(), notReturned.end());
  reads = baseReads(notReturned, dns_, schema_);
  searchTogether(connection_, reads);
  readAlone(notReturned, reads, entries, codes);
}

void readByName(LdapConnection& connection, const Schema& schema, const std::vector<std::string>& dns,
                std::vector<EntryPtr>& entries, std::vector<int>& codes) {
  ReadsByName(connection, schema, dns).finish(entries, codes);
}

}  // namespace adsi
