#include "ldap/nested_membership.h"

#include <cctype>
#include <cstdio>

namespace adsi {

std::string filterValue(const std::string& value) {
  std::string escaped;
  for (unsigned char c : value) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "\\%02x", c);
      escaped += hex;
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

std::string domainOfRealm(const std::string& realm) {
  std::string dn;
  size_t start = 0;
  while (start <= realm.size()) {
    size_t dot = realm.find('.', start);
    if (dot == std::string::npos) dot = realm.size();
    std::string label = realm.substr(start, dot - start);
    for (char& c : label) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    dn += (dn.empty() ? "DC=" : ",DC=") + label;
    start = dot + 1;
  }
  return dn;
}

bool membershipSearch(const std::string& principal, const std::string& groupDn, MembershipSearch& search,
                      std::string& error) {
  size_t at = principal.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == principal.size()) {
    error = "'" + principal + "' is not name@REALM";
    return false;
  }
  search.base = domainOfRealm(principal.substr(at + 1));
  search.filter = "(&(sAMAccountName=" + filterValue(principal.substr(0, at)) +
                  ")(memberOf:1.2.840.113556.1.4.1941:=" + filterValue(groupDn) + "))";
  return true;
}

}  // namespace adsi
