// Whether the account of an Active Directory Kerberos principal belongs to a
// group, directly or through groups in groups: one search with the in-chain
// matching rule (LDAP_MATCHING_RULE_IN_CHAIN), which the domain controller
// walks itself.
#pragma once

#include <ldap.h>

#include <string>

namespace adsi {

struct Membership {
  int result = LDAP_SUCCESS;  // the search's LDAP result code
  bool member = false;
  std::string reason;  // when the search failed: why
};

// The principal is name@REALM, the account's sAMAccountName in the domain
// whose DNS name is the realm (QX.TEST: DC=qx,DC=test), where it is looked
// for. `ld` is bound as an identity that may read the group's members.
Membership memberInChain(LDAP* ld, const std::string& principal, const std::string& groupDn);

// RFC 4515: a value as it may stand in a filter.
std::string filterValue(const std::string& value);

// QX.TEST -> DC=qx,DC=test (ASCII letters folded to lower case).
std::string domainOfRealm(const std::string& realm);

}  // namespace adsi
