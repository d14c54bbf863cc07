// Entries read by name, many names to a search. Where the server's schema
// names an attribute that holds each entry's own DN (Schema::nameAttribute:
// entryDN on OpenLDAP, distinguishedName on Active Directory), one subtree
// search under the naming context that holds them finds up to
// kNamesPerSearch of them by that attribute, however they are spread over
// containers; otherwise a one-level search under their parent finds those of
// one container by their RDNs. The searches go out together (ldap_pipeline.h).
// A name no search returned (gone, hidden, under a referral, a search the
// server refused) is then read on its own, a base read as before, so that it
// fails exactly as a read of it alone does.
#pragma once

#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace adsi {

// At least a hundred names a search: a walk of N names costs about N/100
// searches, while the server matches each entry against a filter it can
// still check quickly.
constexpr size_t kNamesPerSearch = 100;

// `entries[i]` is the entry `dns[i]` names, with all its user attributes
// (ranged values not completed yet), or null with `codes[i]` the LDAP result
// of reading it alone.
void readByName(LdapConnection& connection, const Schema& schema, const std::vector<std::string>& dns,
                std::vector<EntryPtr>& entries, std::vector<int>& codes);

// RFC 4515: the characters a filter's assertion value cannot hold as they are.
std::string escapeFilterValue(std::string_view value);

}  // namespace adsi
