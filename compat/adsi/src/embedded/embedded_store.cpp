#include "embedded/embedded_store.h"

#include <algorithm>
#include <atomic>

#include "adserr.h"
#include "embedded/filter_match.h"
#include "embedded/ldif_reader.h"
#include "schema/syntax_types.h"
#include "schema/value_convert.h"
#include "store/dn.h"
#include "text.h"

namespace adsi {
namespace {

std::atomic<long> g_pagesFetched{0};

// Active Directory's default MaxPageSize.
constexpr uint32_t kDefaultPageSize = 1000;

const char* typeName(ADSTYPE type) {
  switch (type) {
    case ADSTYPE_BOOLEAN: return "Boolean";
    case ADSTYPE_INTEGER: return "integer";
    case ADSTYPE_LARGE_INTEGER: return "large integer";
    case ADSTYPE_UTC_TIME: return "time";
    case ADSTYPE_DN_WITH_BINARY: return "DN with binary";
    case ADSTYPE_DN_WITH_STRING: return "DN with string";
    default: return "value";
  }
}

bool isSubschema(const DirectoryEntry& entry) {
  if (entry.find("attributeTypes")) return true;
  if (const Attribute* oc = entry.find("objectClass"))
    for (const std::string& v : oc->values)
      if (equalsIgnoreCase(v, "subschema") || equalsIgnoreCase(v, "subentry")) return true;
  return false;
}

bool hasValue(const LdifRecord& r, std::string_view name, std::string_view value) {
  for (const auto& [n, v] : r.values)
    if (equalsIgnoreCase(n, name) && equalsIgnoreCase(v, value)) return true;
  return false;
}

const std::string* firstValue(const LdifRecord& r, std::string_view name) {
  for (const auto& [n, v] : r.values)
    if (equalsIgnoreCase(n, name)) return &v;
  return nullptr;
}

// The DNS name of a domain's naming context, "" when not all RDNs are DC=.
std::string dnsNameOf(const std::vector<Rdn>& rdns) {
  std::string dns;
  for (const Rdn& r : rdns) {
    if (r.avas.size() != 1 || !equalsIgnoreCase(r.avas[0].type, "dc")) return "";
    dns += (dns.empty() ? "" : ".") + lowerAscii(r.avas[0].value);
  }
  return dns;
}

bool within(const EmbeddedNode* node, const EmbeddedNode* base) {
  for (; node; node = node->parent)
    if (node == base) return true;
  return false;
}

EntryPtr project(const EntryPtr& entry, const SearchRequest& request) {
  if (request.allAttributes) return entry;
  auto copy = std::make_shared<DirectoryEntry>();
  copy->dn = entry->dn;
  for (const Attribute& a : entry->attributes)
    for (const std::string& name : request.attributes)
      if (equalsIgnoreCase(a.name, name)) {
        copy->attributes.push_back(a);
        break;
      }
  return copy;
}

class EmbeddedCursor : public SearchCursor {
 public:
  EmbeddedCursor(std::shared_ptr<EmbeddedStore> store, const EmbeddedNode* base, SearchRequest request,
                 FilterNode filter)
      : store_(std::move(store)), base_(base), request_(std::move(request)), matcher_(*store_, std::move(filter)) {
    for (const std::string& name : request_.attributes)
      if (name == "*" || name == "+") request_.allAttributes = true;
  }

  HRESULT nextPage(std::vector<EntryPtr>& page) override {
    page.clear();
    ++g_pagesFetched;
    uint32_t pageSize = request_.pageSize ? request_.pageSize : kDefaultPageSize;
    while (page.size() < pageSize && !limitReached()) {
      const EmbeddedNode* node = nextCandidate();
      if (!node) break;
      if (!matcher_.matches(*node)) continue;
      page.push_back(project(node->entry, request_));
      ++returned_;
    }
    return page.empty() ? S_FALSE : S_OK;
  }

 private:
  bool limitReached() const { return request_.sizeLimit && returned_ >= request_.sizeLimit; }

  const EmbeddedNode* nextCandidate() {
    switch (request_.scope) {
      case SearchScope::Base: return next_++ == 0 ? base_ : nullptr;
      case SearchScope::OneLevel: return next_ < base_->children.size() ? base_->children[next_++] : nullptr;
      case SearchScope::Subtree:
      default: {
        const auto& nodes = store_->nodes();
        while (next_ < nodes.size()) {
          const EmbeddedNode* n = nodes[next_++].get();
          if (within(n, base_)) return n;
        }
        return nullptr;
      }
    }
  }

  std::shared_ptr<EmbeddedStore> store_;
  const EmbeddedNode* base_;
  SearchRequest request_;
  FilterMatcher matcher_;
  size_t next_ = 0;
  uint32_t returned_ = 0;
};

}  // namespace

long EmbeddedStore::pagesFetched() { return g_pagesFetched.load(); }

std::shared_ptr<EmbeddedStore> EmbeddedStore::load(std::string_view ldif, const std::string& source,
                                                   std::string& error) {
  std::shared_ptr<EmbeddedStore> store(new EmbeddedStore());
  store->source_ = source;
  if (!store->build(ldif, source, error)) return nullptr;
  return store;
}

bool EmbeddedStore::build(std::string_view ldif, const std::string& source, std::string& error) {
  std::vector<LdifRecord> records;
  if (!readLdif(ldif, source, records, error)) return false;
  auto fail = [&](size_t line, const std::string& reason) {
    error = source + ":" + std::to_string(line) + ": " + reason;
    return false;
  };

  // The schema first, wherever in the file it is declared.
  for (const LdifRecord& r : records) {
    for (size_t i = 0; i < r.values.size(); ++i) {
      std::string reason;
      if (equalsIgnoreCase(r.values[i].first, "attributeTypes") &&
          !schema_.learnAttributeType(r.values[i].second, reason))
        return fail(r.valueLines[i], reason);
    }
    // Active Directory's own form: an attributeSchema entry.
    const std::string* name = firstValue(r, "lDAPDisplayName");
    const std::string* syntax = firstValue(r, "attributeSyntax");
    if (name && syntax && hasValue(r, "objectClass", "attributeSchema")) schema_.add(*name, adsTypeForSyntax(*syntax));
  }

  for (const LdifRecord& r : records) {
    std::vector<Rdn> rdns;
    if (!parseDn(r.dn, rdns)) return fail(r.line, "invalid DN '" + r.dn + "'");
    if (rdns.empty()) return fail(r.line, "an entry needs a non-empty DN");
    auto node = std::make_unique<EmbeddedNode>();
    node->normalizedDn = normalizeRdns(rdns);
    node->position = nodes_.size();
    auto [it, inserted] = index_.emplace(node->normalizedDn, node.get());
    if (!inserted)
      return fail(r.line, "duplicate entry '" + r.dn + "' (first at line " +
                              std::to_string(records[it->second->position].line) + ")");
    auto entry = std::make_shared<DirectoryEntry>();
    entry->dn = showDn(r.dn);
    std::vector<std::vector<size_t>> valueLines;
    for (size_t i = 0; i < r.values.size(); ++i) {
      const auto& [name, value] = r.values[i];
      // Lines of one attribute gather under its first spelling, in file order.
      auto same = [&name = name](const Attribute& x) { return equalsIgnoreCase(x.name, name); };
      auto found = std::find_if(entry->attributes.begin(), entry->attributes.end(), same);
      size_t at = static_cast<size_t>(found - entry->attributes.begin());
      if (found == entry->attributes.end()) {
        entry->attributes.push_back(Attribute{name, schema_.typeOf(name), {}});
        valueLines.emplace_back();
      }
      entry->attributes[at].values.push_back(value);
      valueLines[at].push_back(r.valueLines[i]);
    }
    for (size_t at = 0; at < entry->attributes.size(); ++at) {
      Attribute& a = entry->attributes[at];
      settleAttribute(a);
      for (size_t v = 0; v < a.values.size(); ++v) {
        const std::string& value = a.values[v];
        TypedValue check;
        if (!convertValue(a.type, value, check))
          return fail(valueLines[at][v],
                      "'" + value + "' is not a valid " + typeName(a.type) + " (attribute '" + a.name + "')");
        if (a.type == ADSTYPE_DN_STRING && !parseDn(value, rdns))
          return fail(valueLines[at][v], "'" + value + "' is not a valid DN (attribute '" + a.name + "')");
      }
    }
    node->entry = std::move(entry);
    nodes_.push_back(std::move(node));
  }

  for (auto& node : nodes_) {
    std::vector<Rdn> rdns;
    parseDn(node->entry->dn, rdns);
    auto parent = index_.find(normalizeRdns(rdns, 1));
    if (rdns.size() > 1 && parent != index_.end()) {
      node->parent = parent->second;
      parent->second->children.push_back(node.get());
      continue;
    }
    tops_.push_back(node.get());
    if (namingContext_.empty() && !isSubschema(*node->entry)) {
      namingContext_ = node->entry->dn;
      dnsName_ = dnsNameOf(rdns);
    }
  }
  return true;
}

const EmbeddedNode* EmbeddedStore::find(std::string_view normalizedDn) const {
  auto it = index_.find(std::string(normalizedDn));
  return it == index_.end() ? nullptr : it->second;
}

HRESULT EmbeddedStore::readEntry(std::string_view dn, EntryPtr& entry) {
  std::string key;
  if (!normalizeDn(dn, key)) return kInvalidDnSyntax;
  const EmbeddedNode* node = find(key);
  if (!node) return kNoSuchObject;
  entry = node->entry;
  return S_OK;
}

HRESULT EmbeddedStore::search(const SearchRequest& request, std::unique_ptr<SearchCursor>& cursor) {
  FilterNode filter;
  std::string reason;
  if (!parseFilter(request.filter, filter, reason)) return E_ADS_INVALID_FILTER;
  std::string key;
  if (!normalizeDn(request.baseDn, key)) return kInvalidDnSyntax;
  const EmbeddedNode* base = find(key);
  if (!base) return kNoSuchObject;
  cursor = std::make_unique<EmbeddedCursor>(shared_from_this(), base, request, std::move(filter));
  return S_OK;
}

ADSTYPE EmbeddedStore::attributeType(std::string_view name) const { return schema_.typeOf(name); }

std::string EmbeddedStore::namingContext() const { return namingContext_; }

// A root DSE of the store's own, with what a client asks of one.
HRESULT EmbeddedStore::readRootDse(EntryPtr& entry) {
  auto dse = std::make_shared<DirectoryEntry>();
  auto add = [&](const char* name, std::vector<std::string> values) {
    if (values.empty() || values.front().empty()) return;
    dse->attributes.push_back(Attribute{name, schema_.typeOf(name), std::move(values)});
  };
  std::string subschema;
  for (const auto& node : nodes_)
    if (isSubschema(*node->entry)) subschema = node->entry->dn;
  add("objectClass", {"top"});
  add("namingContexts", {namingContext_});
  add("defaultNamingContext", {namingContext_});
  add("rootDomainNamingContext", {namingContext_});
  add("subschemaSubentry", {subschema});
  add("dnsHostName", {serverName()});
  add("supportedLDAPVersion", {"3"});
  entry = std::move(dse);
  return S_OK;
}

bool EmbeddedStore::holds(std::string_view dn) const {
  std::vector<Rdn> rdns;
  if (!parseDn(dn, rdns)) return true;
  for (const EmbeddedNode* top : tops_) {
    std::vector<Rdn> topRdns;
    parseDn(top->entry->dn, topRdns);
    if (rdns.size() >= topRdns.size() && normalizeRdns(rdns, rdns.size() - topRdns.size()) == top->normalizedDn)
      return true;
  }
  return false;
}

std::vector<std::string> EmbeddedStore::namingContexts() const {
  std::vector<std::string> dns;
  for (const EmbeddedNode* top : tops_) dns.push_back(top->entry->dn);
  return dns;
}

void EmbeddedStore::addServerName(std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex_);
  serverNames_.push_back(lowerAscii(name));
}

bool EmbeddedStore::answersTo(std::string_view server) const {
  std::string name = lowerAscii(server);
  if (name == "localhost" || (!dnsName_.empty() && name == dnsName_)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& s : serverNames_)
    if (s == name) return true;
  return false;
}

std::string EmbeddedStore::serverName() const {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!serverNames_.empty()) return serverNames_.front();
  }
  return dnsName_.empty() ? "localhost" : dnsName_;
}

std::vector<std::string> EmbeddedStore::referrers(std::string_view name, const std::string& normalizedDn) {
  std::string attribute = lowerAscii(name);
  std::shared_ptr<const ReverseIndex> index;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = reverse_.find(attribute);
    if (it != reverse_.end()) index = it->second;
  }
  if (!index) {
    auto built = std::make_shared<ReverseIndex>();
    for (const auto& node : nodes_) {
      if (const Attribute* a = node->entry->find(attribute)) {
        for (const std::string& v : a->values) {
          std::string key;
          if (normalizeDn(v, key)) (*built)[key].push_back(node->normalizedDn);
        }
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    index = reverse_.emplace(attribute, std::move(built)).first->second;
  }
  auto it = index->find(normalizedDn);
  return it == index->end() ? std::vector<std::string>() : it->second;
}

}  // namespace adsi
