// The elements of a member walk: the objects a group's member values name.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "com/object_enumerator.h"
#include "store/dn.h"

namespace adsi {
namespace {

// Names read this many at a time: a few pipelined searches per page (a hundred
// names to a search, reads_by_name.h).
constexpr size_t kNamesPerPage = 1000;
// A container that holds at least this many of the members is listed (a
// paged one-level search, pages of kListingPage) instead of reading each
// member by name. The listing goes as far as the walk needs, the server
// preparing its next page meanwhile; it stops once it has read twice its
// members and a page more without finding them all, and the rest are read
// by name.
constexpr size_t kContainerMembers = 256;
constexpr uint32_t kListingPage = 100;  // the procedure's own page size: servers limit pages

// Failures of one object, not of the walk.
bool objectUnreadable(HRESULT hr) {
  return hr == kNoSuchObject || hr == kInvalidDnSyntax || hr == E_ACCESSDENIED ||
         hr == HRESULT_FROM_WIN32(8235);  // a referral: the object is elsewhere
}

struct Listing {
  std::string dn;
  std::unique_ptr<SearchCursor> cursor;
  size_t members = 0, found = 0, read = 0;
  bool done = false;
};

class NameListSource : public ElementSource {
 public:
  NameListSource(std::shared_ptr<DirectoryStore> store, std::vector<std::string> dns)
      : store_(std::move(store)), dns_(std::move(dns)) {}

  HRESULT nextPage(std::vector<EnumElement>& page) override {
    page.clear();
    if (next_ == 0) planListings();
    if (next_ >= dns_.size()) return S_FALSE;
    size_t end = std::min(dns_.size(), next_ + kNamesPerPage);
    std::vector<EntryPtr> listed(end - next_);
    std::vector<std::string> unread;
    for (size_t i = next_; i < end; ++i)
      if (!(listed[i - next_] = takeListed(i))) unread.push_back(dns_[i]);
    std::vector<EntryRead> reads;
    if (!unread.empty()) store_->readEntries(unread, reads);
    size_t r = 0;
    for (size_t i = next_; i < end; ++i) {
      if (EntryPtr& entry = listed[i - next_]) {
        page.push_back({std::move(dns_[i]), std::move(entry), S_OK});
        continue;
      }
      EntryRead& read = reads[r++];
      if (FAILED(read.result) && !objectUnreadable(read.result)) {
        page.clear();
        next_ = dns_.size();
        return read.result;
      }
      page.push_back({std::move(dns_[i]), std::move(read.entry), read.result});
    }
    next_ = end;
    return S_OK;
  }

 private:
  void planListings() {
    keys_.assign(dns_.size(), std::string());
    parents_.assign(dns_.size(), std::string());
    for (size_t i = 0; i < dns_.size(); ++i) {
      std::vector<Rdn> rdns;
      if (!parseDn(dns_[i], rdns) || rdns.size() < 2) continue;
      keys_[i] = normalizeRdns(rdns);
      parents_[i] = normalizeRdns(rdns, 1);
      members_.insert(keys_[i]);
      Listing& listing = listings_[parents_[i]];
      if (listing.dn.empty()) listing.dn = joinRdns(rdns, 1);
      ++listing.members;
    }
    for (auto it = listings_.begin(); it != listings_.end();)
      it = it->second.members >= kContainerMembers ? std::next(it) : listings_.erase(it);
  }

  // The entry of member `i` as its container's listing gives it, listing
  // further when it is not there yet; null when it is to be read by name.
  EntryPtr takeListed(size_t i) {
    if (keys_[i].empty()) return nullptr;
    auto listing = listings_.find(parents_[i]);
    while (!listed_.count(keys_[i]) && listing != listings_.end() && !listing->second.done)
      listFurther(listing->second);
    auto found = listed_.find(keys_[i]);
    if (found == listed_.end()) return nullptr;
    EntryPtr entry = std::move(found->second);
    listed_.erase(found);  // a member named twice is read by name the second time
    return entry;
  }

  // One more page of a listing. A listing that fails leaves its members to
  // be read by name, which says what is wrong.
  void listFurther(Listing& listing) {
    std::vector<EntryPtr> page;
    if (!listing.cursor && FAILED(store_->listChildren(listing.dn, {}, kListingPage, listing.cursor))) {
      listing.done = true;
      return;
    }
    if (listing.cursor->nextPage(page) != S_OK) listing.done = true;
    for (EntryPtr& entry : page) {
      ++listing.read;
      std::string key;
      if (normalizeDn(entry->dn, key) && members_.count(key) && listed_.emplace(key, std::move(entry)).second)
        ++listing.found;
    }
    if (listing.found >= listing.members || listing.read >= 2 * listing.members + kListingPage) listing.done = true;
    if (listing.done) listing.cursor.reset();  // ends a paged search left early
  }

  std::shared_ptr<DirectoryStore> store_;
  std::vector<std::string> dns_;
  std::vector<std::string> keys_;     // normalised DNs; empty for a value that is not a DN
  std::vector<std::string> parents_;  // their containers', normalised
  std::unordered_set<std::string> members_;
  std::unordered_map<std::string, Listing> listings_;  // by normalised container DN
  std::unordered_map<std::string, EntryPtr> listed_;   // listed, not taken yet, by normalised DN
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<ElementSource> nameListSource(std::shared_ptr<DirectoryStore> store, std::vector<std::string> dns) {
  return std::make_unique<NameListSource>(std::move(store), std::move(dns));
}

}  // namespace adsi
