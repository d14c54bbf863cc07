// Entries read by name, many names to a search. Where the server's schema
// names an attribute that each entry keeps its own DN in (Schema::
// nameAttribute: distinguishedName on Active Directory), one subtree search
// under the naming context that holds them finds up to kNamesPerSearch of
// them by it, however they are spread over containers. Otherwise the names
// that share a container are found by a one-level search under it for their
// RDNs, which a server answers from its index of the naming attribute.
// The searches go out together (ldap_pipeline.h). A name no search returned
// (gone, hidden, under a referral, a search the server refused), and a name
// alone in its container, is read on its own, a base read as before, so that
// it fails exactly as a read of it alone does.
#pragma once

#include <string>
#include <vector>

#include <memory>

#include "ldap/ldap_connection.h"
#include "ldap/ldap_pipeline.h"

namespace adsi {

// At least a hundred names a search: a walk of N names costs about N/100
// searches, while the server matches each entry against a filter it can
// still check quickly.
constexpr size_t kNamesPerSearch = 100;

// The reads of one list of names, in two steps: made, it plans the searches
// and sends the first of them (the server works on them meanwhile); finish
// reads the answers. `entries[i]` is then the entry the i-th name names, with
// all its user attributes (ranged values not completed yet), or null with
// `codes[i]` the LDAP result of reading it alone. Dropped unfinished, it
// reads and drops what it sent.
class ReadsByName {
 public:
  ReadsByName(LdapConnection& connection, const Schema& schema, std::vector<std::string> dns);
  ~ReadsByName();
  ReadsByName(const ReadsByName&) = delete;
  ReadsByName& operator=(const ReadsByName&) = delete;

  void finish(std::vector<EntryPtr>& entries, std::vector<int>& codes);

  struct Batch;  // one search for several names

 private:
  LdapConnection& connection_;
  const Schema& schema_;
  std::vector<std::string> dns_;
  std::vector<Batch> batches_;
  std::vector<size_t> alone_;  // names read alone from the start
  std::unique_ptr<SearchPipeline> pipeline_;
};

// Both steps at once.
void readByName(LdapConnection& connection, const Schema& schema, const std::vector<std::string>& dns,
                std::vector<EntryPtr>& entries, std::vector<int>& codes);

// RFC 4515: the characters a filter's assertion value cannot hold as they are.
std::string escapeFilterValue(std::string_view value);

}  // namespace adsi
