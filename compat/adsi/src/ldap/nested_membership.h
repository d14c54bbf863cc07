// Whether the account of an Active Directory Kerberos principal belongs to a
// group, directly or through groups in groups: one search with the in-chain
// matching rule (LDAP_MATCHING_RULE_IN_CHAIN), which the domain controller
// walks itself.
#pragma once

#include <string>

namespace adsi {

// The search that finds the account only when it is in the group's chain.
struct MembershipSearch {
  std::string base;    // the domain of the principal's realm
  std::string filter;  // the account by sAMAccountName, in the group's chain
};

// The principal is name@REALM, the account's sAMAccountName in the domain
// whose DNS name is the realm (QX.TEST: DC=qx,DC=test). False with a reason
// for a principal of another shape.
bool membershipSearch(const std::string& principal, const std::string& groupDn, MembershipSearch& search,
                      std::string& error);

// RFC 4515: a value as it may stand in a filter.
std::string filterValue(const std::string& value);

// QX.TEST -> DC=qx,DC=test (ASCII letters folded to lower case).
std::string domainOfRealm(const std::string& realm);

}  // namespace adsi
