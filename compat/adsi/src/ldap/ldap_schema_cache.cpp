#include "ldap/ldap_schema_cache.h"

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "diagnostics.h"

namespace adsi {
namespace {

using Clock = std::chrono::steady_clock;

struct CachedSchema {
  std::shared_ptr<const Schema> schema;
  Clock::time_point readAt;
};

std::mutex g_mutex;
std::map<std::string, CachedSchema> g_cache;  // by URI and subschema DN
std::set<std::string> g_reportedUnreadable;   // by URI and subschema DN

// Null with the reason when the subschema entry or its attribute types
// cannot be read.
std::shared_ptr<const Schema> readSchema(LdapConnection& connection, const std::string& dn, std::string& reason) {
  auto schema = std::make_shared<Schema>();
  LdapSearchArgs args;
  args.base = dn;
  args.scope = LDAP_SCOPE_BASE;
  args.filter = "(objectClass=subschema)";
  args.allAttributes = false;
  args.attributes = {"attributeTypes"};
  LdapSearchOutcome outcome;
  int code = connection.search(args, outcome);
  const Attribute* types =
      code == LDAP_SUCCESS && !outcome.entries.empty() ? outcome.entries.front()->find("attributeTypes") : nullptr;
  if (!types || types->values.empty()) {
    reason = code != LDAP_SUCCESS      ? ldap_err2string(code)
             : outcome.entries.empty() ? "the entry is not visible to this identity"
                                       : "it shows no attribute types to this identity";
    return nullptr;
  }
  std::string ignored;
  // A definition that does not parse leaves its attribute a string.
  for (const std::string& description : types->values) schema->learnAttributeType(description, ignored);
  return schema;
}

}  // namespace

std::shared_ptr<const Schema> serverSchema(LdapConnection& connection) {
  std::string dn = connection.rootDse().subschemaSubentry;
  if (dn.empty()) dn = "cn=Subschema";
  std::string key = connection.target().uri + "\n" + dn;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_cache.find(key);
    if (it != g_cache.end() && Clock::now() - it->second.readAt < std::chrono::seconds(kSchemaLifetimeSeconds))
      return it->second.schema;
  }
  // Read outside the lock: two first readers may both read; either result serves.
  std::string reason;
  std::shared_ptr<const Schema> schema = readSchema(connection, dn, reason);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (schema) {
    g_cache[key] = CachedSchema{schema, Clock::now()};
    g_reportedUnreadable.erase(key);
    return schema;
  }
  if (g_reportedUnreadable.insert(key).second)
    reportLine("the schema of " + connection.target().uri + " (" + dn + ") could not be read: " + reason +
               "; values are typed by the built-in table of well-known attributes");
  static const auto builtIn = std::make_shared<const Schema>(Schema::builtIn());
  return builtIn;
}

}  // namespace adsi
