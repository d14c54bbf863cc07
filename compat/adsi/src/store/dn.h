// Distinguished names (RFC 4514): parsing, and the normalised form under
// which two spellings of one name compare equal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace adsi {

struct Ava {
  std::string type;   // as written
  std::string value;  // unescaped
};

struct Rdn {
  std::string text;  // as written, without surrounding spaces
  std::vector<Ava> avas;
};

// False for a name that is not a DN. The empty string is the DN of no RDNs.
bool parseDn(std::string_view dn, std::vector<Rdn>& rdns);

// Case and spacing folded, escapes resolved, the AVAs of an RDN sorted.
// Empty when `dn` does not parse.
bool normalizeDn(std::string_view dn, std::string& normalized);
std::string normalizeRdns(const std::vector<Rdn>& rdns, size_t first = 0);

// The DN as both stores show it: a character RFC 4514 reserves that the directory
// wrote as a hex pair ("\2C", as OpenLDAP does) escaped with a backslash
// instead ("\,", as Active Directory writes it); everything else as written.
std::string showDn(std::string_view dn);

// The RDNs from `first` on, as written, joined with commas.
std::string joinRdns(const std::vector<Rdn>& rdns, size_t first);

// Where the first RDN of `dn` ends, without parsing the rest: the position of
// the separator after it (outside escapes and quoted values), npos for a DN
// of one RDN. What follows is the parent's DN as written.
size_t firstRdnEnd(std::string_view dn);

}  // namespace adsi
