// The elements of a member walk: the objects a group's member values name.
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "com/object_enumerator.h"
#include "store/dn.h"

namespace adsi {
namespace {

// Names read this many at a time: a few pipelined searches per page (a hundred
// names to a search, reads_by_name.h). With listings, a page takes about one
// page of a listing (kListingPage), so that the server prepares the next
// listing page while the caller uses this one, as for a child walk.
constexpr size_t kNamesPerPage = 1000;
constexpr size_t kNamesPerPageWithListings = 100;
// A container that holds at least this many of the members is listed (a
// paged one-level search, pages of kListingPage) instead of reading each
// member by name. The listing goes as far as the walk needs, the server
// preparing its next page meanwhile; it stops once it has read twice its
// members and a page more without finding them all, and the rest are read
// by name.
constexpr size_t kContainerMembers = 256;
constexpr uint32_t kListingPage = 100;  // the procedure's own page size: servers limit pages
constexpr uint32_t kNoListing = UINT32_MAX;

// Failures of one object, not of the walk.
bool objectUnreadable(HRESULT hr) {
  return hr == kNoSuchObject || hr == kInvalidDnSyntax || hr == E_ACCESSDENIED ||
         hr == HRESULT_FROM_WIN32(8235);  // a referral: the object is elsewhere
}

// A member's container as written: members whose containers are written
// alike share a listing.
std::string_view containerOf(std::string_view dn) {
  const size_t end = firstRdnEnd(dn);
  if (end == std::string_view::npos) return std::string_view();
  std::string_view parent = dn.substr(end + 1);
  while (!parent.empty() && parent.front() == ' ') parent.remove_prefix(1);
  return parent;
}

struct Listing {
  std::string dn;
  std::unique_ptr<SearchCursor> cursor;
  size_t members = 0, found = 0, read = 0;
  bool done = false;
};

class NameListSource : public ElementSource {
 public:
  NameListSource(std::shared_ptr<DirectoryStore> store, std::shared_ptr<const std::vector<std::string>> dns)
      : store_(std::move(store)), dns_(std::move(dns)) {}

  // The page's reads were sent with the page before it: the server prepares
  // this page while the caller uses that one, and the next page's reads go
  // out before this one is handed over.
  HRESULT nextPage(std::vector<EnumElement>& page) override {
    page.clear();
    if (!planned_) {
      planListings();
      planned_ = true;
    }
    if (!ahead_) {
      if (next_ >= dns_->size()) return S_FALSE;
      ahead_ = startPage(next_);
    }
    std::unique_ptr<Page> current = std::move(ahead_);
    next_ = current->end;
    if (next_ < dns_->size()) ahead_ = startPage(next_);
    const HRESULT hr = finishPage(*current, page);
    if (FAILED(hr)) {
      ahead_.reset();
      next_ = dns_->size();
    }
    return hr;
  }

 private:
  // Members [begin, end): those a listing gave, and the reads of the others.
  struct Page {
    size_t begin = 0, end = 0;
    std::vector<EntryPtr> listed;
    std::vector<std::string> unread;
    std::unique_ptr<PendingReads> reads;
  };

  std::unique_ptr<Page> startPage(size_t begin) {
    const std::vector<std::string>& dns = *dns_;
    auto page = std::make_unique<Page>();
    page->begin = begin;
    page->end = std::min(dns.size(), begin + (listings_.empty() ? kNamesPerPage : kNamesPerPageWithListings));
    page->listed.resize(page->end - begin);
    for (size_t i = begin; i < page->end; ++i)
      if (!(page->listed[i - begin] = takeListed(i))) page->unread.push_back(dns[i]);
    if (!page->unread.empty()) page->reads = store_->startReadEntries(page->unread);
    return page;
  }

  HRESULT finishPage(Page& from, std::vector<EnumElement>& page) {
    const std::vector<std::string>& dns = *dns_;
    std::vector<EntryRead> reads;
    if (from.reads) from.reads->finish(reads);
    size_t r = 0;
    for (size_t i = from.begin; i < from.end; ++i) {
      if (EntryPtr& entry = from.listed[i - from.begin]) {
        page.push_back({dns[i], std::move(entry), S_OK});
        continue;
      }
      EntryRead& read = reads[r];
      if (FAILED(read.result) && !objectUnreadable(read.result)) {
        page.clear();
        return read.result;
      }
      page.push_back({std::move(from.unread[r]), std::move(read.entry), read.result});
      ++r;
    }
    return S_OK;
  }

  // Containers of many members get a listing; their members' names are
  // what the listing looks for, as written.
  void planListings() {
    const std::vector<std::string>& dns = *dns_;
    std::unordered_map<std::string_view, size_t> counts;  // views into dns_, which stays
    for (const std::string& dn : dns) ++counts[containerOf(dn)];
    std::unordered_map<std::string_view, uint32_t> listed;
    for (const auto& [container, count] : counts) {
      if (container.empty() || count < kContainerMembers) continue;
      listed.emplace(container, static_cast<uint32_t>(listings_.size()));
      listings_.emplace_back();
      listings_.back().dn = std::string(container);
      listings_.back().members = count;
    }
    if (listings_.empty()) return;
    listingOf_.assign(dns.size(), kNoListing);
    for (size_t i = 0; i < dns.size(); ++i) {
      auto listing = listed.find(containerOf(dns[i]));
      if (listing == listed.end()) continue;
      listingOf_[i] = listing->second;
      members_.insert(dns[i]);
    }
  }

  // The entry of member `i` as its container's listing gives it, listing
  // further when it is not there yet; null when it is to be read by name.
  EntryPtr takeListed(size_t i) {
    if (listings_.empty() || listingOf_[i] == kNoListing) return nullptr;
    const std::string& dn = (*dns_)[i];
    Listing& listing = listings_[listingOf_[i]];
    std::string normalized;
    for (;;) {
      if (EntryPtr entry = take(listed_, std::string_view(dn))) return entry;
      if (!listedOtherwise_.empty()) {
        if (normalized.empty() && !normalizeDn(dn, normalized)) return nullptr;
        if (EntryPtr entry = take(listedOtherwise_, normalized)) return entry;
      }
      if (listing.done) return nullptr;
      listFurther(listing);
    }
  }

  // A member named twice is read by name the second time.
  template <class Key>
  static EntryPtr take(std::unordered_map<Key, EntryPtr>& listed, const Key& key) {
    auto found = listed.find(key);
    if (found == listed.end()) return nullptr;
    EntryPtr entry = std::move(found->second);
    listed.erase(found);
    return entry;
  }

  // One more page of a listing. Its entries are matched to the members by
  // their names as written, and an entry the group names otherwise (another
  // letter case, other spacing or escapes) by the normalised name. A listing
  // that fails leaves its members to be read by name, which says what is
  // wrong.
  void listFurther(Listing& listing) {
    std::vector<EntryPtr> page;
    if (!listing.cursor && FAILED(store_->listChildren(listing.dn, {}, kListingPage, listing.cursor))) {
      listing.done = true;
      return;
    }
    if (listing.cursor->nextPage(page) != S_OK) listing.done = true;
    for (EntryPtr& entry : page) {
      ++listing.read;
      if (members_.count(entry->dn)) {
        const std::string_view name = entry->dn;  // the entry in the map keeps it
        listing.found += listed_.emplace(name, std::move(entry)).second;
        continue;
      }
      std::string key;
      if (normalizeDn(entry->dn, key) && normalizedMembers().count(key))
        listing.found += listedOtherwise_.emplace(std::move(key), std::move(entry)).second;
    }
    if (listing.found >= listing.members || listing.read >= 2 * listing.members + kListingPage) listing.done = true;
    if (listing.done) listing.cursor.reset();  // ends a paged search left early
  }

  // Made when a listing first meets an entry not named as the group writes it.
  const std::unordered_set<std::string>& normalizedMembers() {
    if (normalizedMembers_.empty()) {
      for (std::string_view dn : members_) {
        std::string key;
        if (normalizeDn(dn, key)) normalizedMembers_.insert(std::move(key));
      }
    }
    return normalizedMembers_;
  }

  std::shared_ptr<DirectoryStore> store_;
  std::shared_ptr<const std::vector<std::string>> dns_;
  std::vector<Listing> listings_;
  std::vector<uint32_t> listingOf_;               // each member's listing, or kNoListing
  std::unordered_set<std::string_view> members_;  // the names of members in listed containers (in dns_)
  std::unordered_set<std::string> normalizedMembers_;
  std::unordered_map<std::string_view, EntryPtr> listed_;  // listed, not taken yet, by name (its entry's) as written
  std::unordered_map<std::string, EntryPtr> listedOtherwise_;  // the same, by normalised name
  bool planned_ = false;
  size_t next_ = 0;              // the first member of no page yet
  std::unique_ptr<Page> ahead_;  // the next page, its reads sent
};

}  // namespace

std::unique_ptr<ElementSource> nameListSource(std::shared_ptr<DirectoryStore> store,
                                              std::shared_ptr<const std::vector<std::string>> dns) {
  return std::make_unique<NameListSource>(std::move(store), std::move(dns));
}

}  // namespace adsi
