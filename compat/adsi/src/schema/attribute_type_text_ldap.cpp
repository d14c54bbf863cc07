#include <ldap_schema.h>

#include <memory>

#include "schema/attribute_type_text.h"

namespace adsi {

bool parseAttributeTypeText(const std::string& description, AttributeTypeText& out,
                            std::string& reason) {
  int code = 0;
  const char* where = nullptr;
  std::unique_ptr<LDAPAttributeType, void (*)(LDAPAttributeType*)> at(
      ldap_str2attributetype(description.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL),
      ldap_attributetype_free);
  if (!at) {
    // libldap may leave `where` one past the text when the definition ends
    // too soon: only a place inside it is shown.
    const char* begin = description.c_str();
    const bool inside = where && where >= begin && where < begin + description.size();
    reason = std::string("attribute type definition does not parse (") + ldap_scherr2str(code) +
             (inside ? " near '" + std::string(where) + "')" : ")");
    return false;
  }
  out = AttributeTypeText();
  if (at->at_oid) out.oid = at->at_oid;
  if (at->at_names)
    for (char** n = at->at_names; *n; ++n) out.names.emplace_back(*n);
  if (at->at_sup_oid) out.superior = at->at_sup_oid;
  if (at->at_equality_oid) out.equality = at->at_equality_oid;
  if (at->at_syntax_oid) out.syntax = at->at_syntax_oid;
  return true;
}

}  // namespace adsi
