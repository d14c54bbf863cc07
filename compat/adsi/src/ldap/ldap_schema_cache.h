// The attribute types of a server's subschema (subschemaSubentry ->
// attributeTypes), mapped through the shared syntax-to-ADSTYPE mapping.
//
// Cached per server and subschema entry for the whole process: a call binds
// several objects and the procedure makes many short calls, while the schema
// is large and changes rarely. The cache is guarded by a mutex and an entry is
// read again once it is kSchemaLifetimeSeconds old, so a long-lived host sees
// schema changes.
#pragma once

#include <memory>

#include "ldap/ldap_connection.h"
#include "schema/schema.h"

namespace adsi {

constexpr int kSchemaLifetimeSeconds = 600;

// Never null: a server whose schema cannot be read (or shows no attribute
// types) gets the built-in table of well-known attributes, which is not
// cached; the first time for each server, a line on standard error says so
// and why.
std::shared_ptr<const Schema> serverSchema(LdapConnection& connection);

}  // namespace adsi
