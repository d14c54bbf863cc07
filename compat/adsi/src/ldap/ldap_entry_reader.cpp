#include "ldap/ldap_entry_reader.h"

#include "ldap/ldap_holders.h"
#include "store/dn.h"

namespace adsi {

// One pass over the entry's encoding: the DN, then each attribute with its
// values as they come (looking values up by name would scan the entry again
// for every attribute).
EntryPtr readLdapEntry(LDAP* ld, LDAPMessage* message, const Schema* schema) {
  auto entry = std::make_shared<DirectoryEntry>();
  BerElement* rawBer = nullptr;
  berval dn{0, nullptr};
  if (ldap_get_dn_ber(ld, message, &rawBer, &dn) != LDAP_SUCCESS) return entry;
  BerElementPtr ber(rawBer);
  if (dn.bv_val) entry->dn = showDn(std::string_view(dn.bv_val, dn.bv_len));
  for (;;) {
    berval name{0, nullptr};
    berval* rawValues = nullptr;
    if (ldap_get_attribute_ber(ld, message, ber.get(), &name, &rawValues) != LDAP_SUCCESS) break;
    BervalArrayPtr values(rawValues);
    if (!name.bv_val) break;  // no more attributes
    Attribute attribute;
    attribute.name.assign(name.bv_val, name.bv_len);
    attribute.type = schema ? schema->typeOf(attribute.name) : ADSTYPE_CASE_IGNORE_STRING;
    for (const berval* v = values.get(); v && v->bv_val; ++v) attribute.values.emplace_back(v->bv_val, v->bv_len);
    settleAttribute(attribute);
    entry->attributes.push_back(std::move(attribute));
  }
  return entry;
}

}  // namespace adsi
