#include "ldap/ldap_store.h"

#include <cstdio>

#include "adserr.h"
#include "diagnostics.h"
#include "ldap/adsi_config.h"
#include "ldap/connection_pool.h"
#include "ldap/ldap_bind.h"
#include "ldap/ldap_error_map.h"
#include "ldap/ldap_ranges.h"
#include "ldap/ldap_search_cursor.h"
#include "ldap/reads_by_name.h"
#include "ldap/ldap_target.h"
#include "text.h"

namespace adsi {
namespace {

constexpr DWORD kErrorInvalidData = 13;  // ERROR_INVALID_DATA

int ldapScope(SearchScope scope) {
  switch (scope) {
    case SearchScope::Base: return LDAP_SCOPE_BASE;
    case SearchScope::OneLevel: return LDAP_SCOPE_ONELEVEL;
    case SearchScope::Subtree:
    default: return LDAP_SCOPE_SUBTREE;
  }
}

}  // namespace

HRESULT LdapStore::open(const AdsPath& path, std::shared_ptr<DirectoryStore>& store) {
  store.reset();
  AdsiConfig config;
  std::string error;
  if (!loadAdsiConfig(config, error)) {
    // The procedure shows only the failure code; the reason goes where the
    // host's administrator looks.
    reportLine(error);
    return HRESULT_FROM_WIN32(kErrorInvalidData);
  }
  LdapTarget target;
  HRESULT hr = ldapTargetFor(path, config, target);
  if (FAILED(hr)) return hr;
  BindIdentity identity;
  if (!resolveIdentity(target.uri, config, identity, hr)) return hr;
  ConnectionKey key = connectionKeyFor(target, config, identity);
  std::shared_ptr<LdapConnection> connection;
  hr = ConnectionPool::instance().take(key, target, config, identity, connection);
  if (FAILED(hr)) return hr;
  store.reset(new LdapStore(std::move(key), std::move(connection), config.idleTimeoutSeconds));
  return S_OK;
}

LdapStore::~LdapStore() {
  if (!ConnectionPool::ended()) ConnectionPool::instance().giveBack(key_, std::move(connection_), idleSeconds_);
}

HRESULT LdapStore::readEntry(std::string_view dn, EntryPtr& entry) {
  std::vector<EntryRead> reads;
  readEntries({std::string(dn)}, reads);
  entry = std::move(reads.front().entry);
  return reads.front().result;
}

namespace {

// The reads by name of a list, sent when made (reads_by_name.h), with the
// ranged values completed at finish.
class LdapPendingReads : public PendingReads {
 public:
  LdapPendingReads(LdapConnection& connection, std::shared_ptr<const Schema> schema, std::vector<std::string> dns)
      : connection_(connection), schema_(std::move(schema)), reads_(connection, *schema_, std::move(dns)) {}

  void finish(std::vector<EntryRead>& reads) override {
    std::vector<EntryPtr> entries;
    std::vector<int> codes;
    reads_.finish(entries, codes);
    std::vector<int> rangeCodes;
    completeRanges(connection_, schema_.get(), entries, rangeCodes);
    reads.assign(entries.size(), EntryRead());
    for (size_t i = 0; i < entries.size(); ++i) {
      reads[i].result = hresultFromLdap(entries[i] ? rangeCodes[i] : codes[i]);
      if (SUCCEEDED(reads[i].result)) reads[i].entry = std::move(entries[i]);
    }
  }

 private:
  LdapConnection& connection_;
  std::shared_ptr<const Schema> schema_;
  ReadsByName reads_;
};

}  // namespace

void LdapStore::readEntries(const std::vector<std::string>& dns, std::vector<EntryRead>& reads) {
  startReadEntries(dns)->finish(reads);
}

std::unique_ptr<PendingReads> LdapStore::startReadEntries(std::vector<std::string> dns) {
  return std::make_unique<LdapPendingReads>(*connection_, schema_, std::move(dns));
}

HRESULT LdapStore::search(const SearchRequest& request, std::unique_ptr<SearchCursor>& cursor) {
  cursor.reset();
  LdapSearchArgs args;
  args.base = request.baseDn;
  args.scope = ldapScope(request.scope);
  // Blanks around the filter are no part of it, as for the embedded store;
  // libldap would refuse them.
  size_t first = request.filter.find_first_not_of(' ');
  if (first == std::string::npos) return E_ADS_INVALID_FILTER;
  args.filter = request.filter.substr(first, request.filter.find_last_not_of(' ') + 1 - first);
  args.allAttributes = request.allAttributes;
  args.attributes = request.attributes;
  args.sizeLimit = static_cast<int>(request.sizeLimit);
  args.paged = request.pageSize > 0;
  args.pageSize = request.pageSize;
  args.schema = schema_.get();
  auto ldapCursor = std::make_unique<LdapSearchCursor>(shared_from_this(), *connection_, std::move(args));
  HRESULT hr = ldapCursor->start();
  if (FAILED(hr)) return hr;
  cursor = std::move(ldapCursor);
  return S_OK;
}

ADSTYPE LdapStore::attributeType(std::string_view name) const { return schema_->typeOf(name); }

// Every attribute the server shows of its root DSE: user and operational.
HRESULT LdapStore::readRootDse(EntryPtr& entry) {
  LdapSearchArgs args;
  args.scope = LDAP_SCOPE_BASE;
  args.allAttributes = false;
  args.attributes = {"*", "+"};
  args.schema = schema_.get();
  LdapSearchOutcome outcome;
  int code = connection_->search(args, outcome);
  if (code != LDAP_SUCCESS) return hresultFromLdap(code);
  if (outcome.entries.empty()) return kNoSuchObject;
  entry = std::move(outcome.entries.front());
  return S_OK;
}

std::string LdapStore::namingContext() const {
  const RootDse& dse = connection_->rootDse();
  if (!dse.defaultNamingContext.empty()) return dse.defaultNamingContext;
  if (!dse.namingContexts.empty()) return dse.namingContexts.front();
  return connection_->target().defaultBase;
}

bool LdapStore::answersTo(std::string_view server) const {
  return equalsIgnoreCase(server, connection_->target().host);
}

std::string LdapStore::serverName() const { return connection_->target().host; }

}  // namespace adsi
