#include "ldap/ldap_schema_cache.h"

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace adsi {
namespace {

using Clock = std::chrono::steady_clock;

struct CachedSchema {
  std::shared_ptr<const Schema> schema;
  Clock::time_point readAt;
};

std::mutex g_mutex;
std::map<std::string, CachedSchema> g_cache;  // by URI and subschema DN

std::shared_ptr<const Schema> readSchema(LdapConnection& connection, const std::string& dn,
                                         bool& complete) {
  auto schema = std::make_shared<Schema>();
  LdapSearchArgs args;
  args.base = dn;
  args.scope = LDAP_SCOPE_BASE;
  args.filter = "(objectClass=subschema)";
  args.allAttributes = false;
  args.attributes = {"attributeTypes"};
  LdapSearchOutcome outcome;
  complete = connection.search(args, outcome) == LDAP_SUCCESS && !outcome.entries.empty();
  if (!complete) return schema;
  if (const Attribute* types = outcome.entries.front()->find("attributeTypes")) {
    std::string reason;
    // A definition that does not parse leaves its attribute a string.
    for (const std::string& description : types->values) schema->learnAttributeType(description, reason);
  }
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
    if (it != g_cache.end() &&
        Clock::now() - it->second.readAt < std::chrono::seconds(kSchemaLifetimeSeconds))
      return it->second.schema;
  }
  // Read outside the lock: two first readers may both read; either result serves.
  bool complete = false;
  std::shared_ptr<const Schema> schema = readSchema(connection, dn, complete);
  if (complete) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cache[key] = CachedSchema{schema, Clock::now()};
  }
  return schema;
}

}  // namespace adsi
