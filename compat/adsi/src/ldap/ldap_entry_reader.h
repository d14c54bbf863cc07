// A search entry of libldap as the stores' value model: the DN, and the
// attributes in the order the server sent them, typed by the server's schema.
#pragma once

#include <ldap.h>

#include "schema/schema.h"
#include "store/directory_entry.h"

namespace adsi {

// `schema` null: every attribute is a case-ignore string.
EntryPtr readLdapEntry(LDAP* ld, LDAPMessage* message, const Schema* schema);

}  // namespace adsi
