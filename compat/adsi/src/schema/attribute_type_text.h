// The parts of an RFC 4512 AttributeTypeDescription the schema uses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace adsi {

struct AttributeTypeText {
  std::string oid;                  // empty when the definition has none
  std::vector<std::string> names;   // NAME, unescaped
  std::string superior;             // SUP, empty when none
  std::string equality;             // EQUALITY, empty when none
  std::string syntax;               // SYNTAX without its length bound, empty when none
  bool singleValue = false;         // SINGLE-VALUE
  bool noUserModification = false;  // NO-USER-MODIFICATION: the server keeps it
  bool operational = false;         // a USAGE other than userApplications
};

// False with a reason ("attribute type definition does not parse (...)")
// when the text is not a definition. Lenient where servers are: fields in
// any order, keywords in any case, a missing OID, quoted OIDs (Active
// Directory quotes SYNTAX) and any white space between tokens. Linear in the
// length of the text, on any bytes.
bool parseAttributeTypeText(std::string_view description, AttributeTypeText& out, std::string& reason);

}  // namespace adsi
