// The value model shared by every directory store: an entry is its DN and its
// attributes in the order the directory gives them; an attribute carries its
// ADSTYPE and its raw values exactly as LDAP transports them (bytes).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "iads.h"

namespace adsi {

struct Attribute {
  std::string name;  // as the directory spells it
  ADSTYPE type = ADSTYPE_CASE_IGNORE_STRING;
  std::vector<std::string> values;  // raw LDAP values, binary-safe
};

struct DirectoryEntry {
  std::string dn;  // as written in the directory
  std::vector<Attribute> attributes;

  // Attribute names compare without regard to case, as LDAP does.
  const Attribute* find(std::string_view name) const;
};

using EntryPtr = std::shared_ptr<const DirectoryEntry>;

// Settles an attribute read from a directory, as both stores do: its type
// from the schema's and its values (typeOfValues), and DN values in the form
// both stores show (showDn).
void settleAttribute(Attribute& attribute);

}  // namespace adsi
