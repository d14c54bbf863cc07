// The embedded directory: entries loaded from LDIF, held in memory in file
// order, indexed by normalised DN. Immutable once loaded, so searches from
// several threads need no lock (only the lazily built reverse indexes take one).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "schema/schema.h"
#include "store/directory_store.h"

namespace adsi {

struct EmbeddedNode {
  EntryPtr entry;
  std::string normalizedDn;
  EmbeddedNode* parent = nullptr;
  std::vector<EmbeddedNode*> children;  // in file order
  size_t position = 0;                  // in file order
};

class EmbeddedStore : public DirectoryStore, public std::enable_shared_from_this<EmbeddedStore> {
 public:
  // Loads LDIF text; on failure returns null and sets `error` to
  // "SOURCE:LINE: reason".
  static std::shared_ptr<EmbeddedStore> load(std::string_view ldif, const std::string& source, std::string& error);

  HRESULT readEntry(std::string_view dn, EntryPtr& entry) override;
  HRESULT search(const SearchRequest& request, std::unique_ptr<SearchCursor>& cursor) override;
  ADSTYPE attributeType(std::string_view name) const override;
  HRESULT readRootDse(EntryPtr& entry) override;
  std::string namingContext() const override;
  bool answersTo(std::string_view server) const override;
  std::string serverName() const override;

  // A further name the store answers to as a server.
  void addServerName(std::string_view name);

  // Whether `dn` lies in one of the store's naming contexts (the entries
  // without a parent in it, the subschema entry among them); true for a name
  // that is not a DN, which the store answers itself.
  bool holds(std::string_view dn) const;
  // Those naming contexts, as written, in file order.
  std::vector<std::string> namingContexts() const;
  // The file (or name) it was loaded from.
  const std::string& source() const { return source_; }

  // How many pages the store's cursors have fetched, process-wide.
  static long pagesFetched();

  // For the matcher.
  const EmbeddedNode* find(std::string_view normalizedDn) const;
  const std::vector<std::unique_ptr<EmbeddedNode>>& nodes() const { return nodes_; }
  // Normalised DNs of the entries whose attribute `name` holds `normalizedDn`.
  std::vector<std::string> referrers(std::string_view name, const std::string& normalizedDn);

 private:
  EmbeddedStore() = default;
  bool build(std::string_view ldif, const std::string& source, std::string& error);

  Schema schema_ = Schema::builtIn();
  std::vector<std::unique_ptr<EmbeddedNode>> nodes_;
  std::unordered_map<std::string, EmbeddedNode*> index_;
  std::string namingContext_;
  std::string dnsName_;                    // DC=corp,DC=example,DC=com: corp.example.com
  std::vector<const EmbeddedNode*> tops_;  // the entries without a parent, in file order
  std::string source_;

  using ReverseIndex = std::unordered_map<std::string, std::vector<std::string>>;
  mutable std::mutex mutex_;                                                      // guards what follows
  std::vector<std::string> serverNames_;                                          // lower case
  std::unordered_map<std::string, std::shared_ptr<const ReverseIndex>> reverse_;  // by attribute
};

}  // namespace adsi
