// Ranged retrieval, as Active Directory answers a read of an attribute with
// more values than it gives at once (its MaxValRange, 1500 by default): the
// entry carries the first values as "member;range=0-1499", and reads of
// "member;range=1500-*" and on give the next ones, the last read's range
// ending in "*". The server may give fewer values than asked for.
#pragma once

#include <vector>

#include "ldap/ldap_connection.h"
#include "ldap/value_range.h"

namespace adsi {

// Reads the remaining values of every ranged attribute of `entries` and puts
// each attribute back under its own name with all its values, typed again.
// The next ranges of all entries are asked for together, so each round costs
// one round trip. `codes` gets each entry's LDAP result; the return value is
// the first failure (LDAP_SUCCESS when none). A server whose ranges do not
// continue where the last ended fails the entry with LDAP_PROTOCOL_ERROR.
int completeRanges(LdapConnection& connection, const Schema* schema, std::vector<EntryPtr>& entries,
                   std::vector<int>& codes);

}  // namespace adsi
