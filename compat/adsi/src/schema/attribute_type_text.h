// The parts of an RFC 4512 AttributeTypeDescription the schema uses.
#pragma once

#include <string>
#include <vector>

namespace adsi {

struct AttributeTypeText {
  std::string oid;
  std::vector<std::string> names;
  std::string superior;  // SUP, empty when none
  std::string equality;  // EQUALITY, empty when none
  std::string syntax;    // SYNTAX without its length bound, empty when none
};

// False with a reason ("attribute type definition does not parse (...)")
// when the text is not a definition. Linux parses with libldap
// (attribute_type_text_ldap.cpp); Windows, which has no libldap, with a
// parser of its own (compat/adsi/windows).
bool parseAttributeTypeText(const std::string& description, AttributeTypeText& out,
                            std::string& reason);

}  // namespace adsi
