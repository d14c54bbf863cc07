#include "ldap/ldap_entry_reader.h"

#include "ldap/ldap_holders.h"

namespace adsi {

EntryPtr readLdapEntry(LDAP* ld, LDAPMessage* message, const Schema* schema) {
  auto entry = std::make_shared<DirectoryEntry>();
  LdapStringPtr dn(ldap_get_dn(ld, message));
  if (dn) entry->dn = dn.get();
  BerElement* rawBer = nullptr;
  LdapStringPtr name(ldap_first_attribute(ld, message, &rawBer));
  BerElementPtr ber(rawBer);
  for (; name; name.reset(ldap_next_attribute(ld, message, ber.get()))) {
    Attribute attribute;
    attribute.name = name.get();
    attribute.type = schema ? schema->typeOf(attribute.name) : ADSTYPE_CASE_IGNORE_STRING;
    LdapValuesPtr values(ldap_get_values_len(ld, message, name.get()));
    for (berval** v = values.get(); v && *v; ++v)
      attribute.values.emplace_back((*v)->bv_val, (*v)->bv_len);
    entry->attributes.push_back(std::move(attribute));
  }
  return entry;
}

}  // namespace adsi
