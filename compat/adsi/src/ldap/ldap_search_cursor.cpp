#include "ldap/ldap_search_cursor.h"

#include "ldap/ldap_error_map.h"
#include "ldap/ldap_ranges.h"

namespace adsi {

LdapSearchCursor::LdapSearchCursor(std::shared_ptr<const void> owner, LdapConnection& connection, LdapSearchArgs args)
    : owner_(std::move(owner)), connection_(connection), args_(std::move(args)) {}

LdapSearchCursor::~LdapSearchCursor() {
  try {
    if (nextAsked_) {
      // Read the page asked for, so that its cookie can end the search.
      LdapSearchOutcome unused;
      bool read = connection_.collectSearch(nextMessage_, args_, unused) == LDAP_SUCCESS;
      args_.cookie = read ? std::move(unused.cookie) : std::string();
      if (args_.cookie.empty()) ended_ = true;
    }
    if (!ended_) connection_.abandonPaging(args_);
  } catch (...) {
    // Out of memory while ending: the server drops the search with the connection.
  }
}

void LdapSearchCursor::askForNextPage() {
  nextAsked_ = connection_.sendSearch(args_, nextMessage_) == LDAP_SUCCESS;
  // Not sent: the next fetch asks again and reports what fails.
}

HRESULT LdapSearchCursor::start() {
  HRESULT hr = fetch(firstPage_);
  firstPending_ = SUCCEEDED(hr);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT LdapSearchCursor::nextPage(std::vector<EntryPtr>& page) {
  page.clear();
  if (firstPending_) {
    firstPending_ = false;
    page.swap(firstPage_);
    return page.empty() ? S_FALSE : S_OK;
  }
  return fetch(page);
}

HRESULT LdapSearchCursor::fetch(std::vector<EntryPtr>& page) {
  page.clear();
  // A server may answer a page with no entries and a cookie for more.
  while (page.empty() && !ended_) {
    LdapSearchOutcome outcome;
    int code =
        nextAsked_ ? connection_.collectSearch(nextMessage_, args_, outcome) : connection_.search(args_, outcome);
    nextAsked_ = false;
    // The caller's own size limit ends the results without failing them; the
    // server's limit fails the search, so that a caller never takes the first
    // entries for the whole answer.
    bool ownLimit = code == LDAP_SIZELIMIT_EXCEEDED && args_.sizeLimit > 0 &&
                    returned_ + outcome.entries.size() >= static_cast<uint32_t>(args_.sizeLimit);
    if (code != LDAP_SUCCESS && !ownLimit) {
      ended_ = true;
      return hresultFromLdap(code);
    }
    for (EntryPtr& entry : outcome.entries) {
      if (args_.sizeLimit > 0 && returned_ >= static_cast<uint32_t>(args_.sizeLimit)) break;
      page.push_back(std::move(entry));
      ++returned_;
    }
    args_.cookie = std::move(outcome.cookie);
    bool limitReached = args_.sizeLimit > 0 && returned_ >= static_cast<uint32_t>(args_.sizeLimit);
    if (!args_.paged || args_.cookie.empty() || code != LDAP_SUCCESS || limitReached) {
      if (limitReached) connection_.abandonPaging(args_);
      ended_ = true;
    } else {
      askForNextPage();
    }
  }
  // Entries whose attributes came ranged get the rest of their values while
  // the server prepares the next page.
  std::vector<int> codes;
  int code = page.empty() ? LDAP_SUCCESS : completeRanges(connection_, args_.schema, page, codes);
  if (code != LDAP_SUCCESS) {
    page.clear();
    return hresultFromLdap(code);
  }
  return page.empty() ? S_FALSE : S_OK;
}

}  // namespace adsi
