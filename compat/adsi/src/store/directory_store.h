// A directory store: where the COM objects get their entries from. The
// embedded store answers from an LDIF file loaded in memory; a network store
// answers from an LDAP server. Both report failures as the HRESULTs ADSI's
// LDAP provider gives, deliver search results through a cursor that fetches
// one page at a time, and may be used from several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/directory_entry.h"
#include "windows.h"

namespace adsi {

// LDAP result codes as ADSI reports them (HRESULT_FROM_WIN32 of the
// ERROR_DS_* codes).
constexpr HRESULT kNoSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT kInvalidDnSyntax = static_cast<HRESULT>(0x80072032);
constexpr HRESULT kServerNotOperational = static_cast<HRESULT>(0x8007203A);

enum class SearchScope { Base = 0, OneLevel = 1, Subtree = 2 };

struct SearchRequest {
  std::string baseDn;
  SearchScope scope = SearchScope::Subtree;
  std::string filter;                   // RFC 4515, UTF-8
  bool allAttributes = true;            // otherwise only `attributes`
  std::vector<std::string> attributes;  // requested names, in request order
  uint32_t pageSize = 0;                // 0: the store's own page size
  uint32_t sizeLimit = 0;               // 0: no limit
};

// One read of a batch: the entry, or why it could not be read.
struct EntryRead {
  EntryPtr entry;
  HRESULT result = S_OK;
};

// Results of one search, fetched page by page: nextPage asks the directory
// for the next page only when called. Entries come in directory order.
class SearchCursor {
 public:
  virtual ~SearchCursor() = default;
  // S_OK with at least one entry in `page`, S_FALSE (page empty) at the end,
  // or a failure.
  virtual HRESULT nextPage(std::vector<EntryPtr>& page) = 0;
};

// Reads of a list of names under way (DirectoryStore::startReadEntries).
class PendingReads {
 public:
  virtual ~PendingReads() = default;
  // Each name's read, in the order of the names, as readEntries gives them.
  virtual void finish(std::vector<EntryRead>& reads) = 0;
};

class DirectoryStore {
 public:
  virtual ~DirectoryStore() = default;

  // The entry with all its attributes, in order; kNoSuchObject when absent,
  // kInvalidDnSyntax for a DN that cannot be parsed.
  virtual HRESULT readEntry(std::string_view dn, EntryPtr& entry) = 0;

  // The entries `dns` name, each with all its attributes or its failure as
  // readEntry gives it, in order. A network store sends the reads together
  // and then collects the answers, so a batch costs about one round trip.
  virtual void readEntries(const std::vector<std::string>& dns, std::vector<EntryRead>& reads);

  // readEntries in two steps: a network store sends the requests now and
  // reads the answers at finish, so that the server works on them while the
  // caller does something else; a store that has nothing to wait for reads
  // at finish. The store must outlive the reads.
  virtual std::unique_ptr<PendingReads> startReadEntries(std::vector<std::string> dns);

  // Starts a search; E_ADS_INVALID_FILTER for a filter that does not parse,
  // kNoSuchObject when the base does not exist.
  virtual HRESULT search(const SearchRequest& request, std::unique_ptr<SearchCursor>& cursor) = 0;

  // The ADSTYPE the schema gives an attribute (a case-ignore string for an
  // attribute the schema does not know).
  virtual ADSTYPE attributeType(std::string_view name) const = 0;

  // The server's root DSE (dn ""): its naming contexts and what it offers.
  virtual HRESULT readRootDse(EntryPtr& entry) = 0;

  // The DN a path without one names (the default naming context).
  virtual std::string namingContext() const = 0;

  // Whether a server name in a path (without its port) names this store.
  virtual bool answersTo(std::string_view server) const = 0;

  // The name of the server that answers (ADS_OPTION_SERVERNAME).
  virtual std::string serverName() const = 0;

  // The direct children of `dn` whose objectClass is one of `classes` (all
  // when empty), in directory order, fetched page by page.
  HRESULT listChildren(std::string_view dn, const std::vector<std::string>& classes, uint32_t pageSize,
                       std::unique_ptr<SearchCursor>& cursor);
};

}  // namespace adsi
