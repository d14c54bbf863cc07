// A search on an LDAP server, one page per nextPage: with a page size, each
// page is one search operation carrying the RFC 2696 paged-results control
// and the server's cookie; without one, the whole result is one page. The
// next page is asked for as soon as a page arrives, so the server prepares it
// while the caller uses this one: at most two pages are held.
#pragma once

#include <memory>

#include "ldap/ldap_connection.h"
#include "store/directory_store.h"

namespace adsi {

class LdapSearchCursor : public SearchCursor {
 public:
  // `owner` keeps the connection and the schema alive while the cursor is.
  LdapSearchCursor(std::shared_ptr<const void> owner, LdapConnection& connection, LdapSearchArgs args);
  ~LdapSearchCursor() override;

  // Fetches the first page, so that a bad filter or a missing base fails the
  // search when it starts.
  HRESULT start();
  HRESULT nextPage(std::vector<EntryPtr>& page) override;

 private:
  HRESULT fetch(std::vector<EntryPtr>& page);
  void askForNextPage();

  std::shared_ptr<const void> owner_;
  LdapConnection& connection_;
  LdapSearchArgs args_;
  std::vector<EntryPtr> firstPage_;
  bool firstPending_ = false;
  bool ended_ = false;
  bool nextAsked_ = false;  // a page operation is out: nextMessage_
  int nextMessage_ = 0;
  uint32_t returned_ = 0;
};

}  // namespace adsi
