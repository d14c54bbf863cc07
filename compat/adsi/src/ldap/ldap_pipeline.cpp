#include "ldap/ldap_pipeline.h"

#include <algorithm>

namespace adsi {

void searchTogether(LdapConnection& connection, std::vector<PipelinedSearch>& searches) {
  std::vector<int> ids;
  for (size_t first = 0; first < searches.size(); first += kPipelineDepth) {
    size_t end = std::min(searches.size(), first + kPipelineDepth);
    ids.assign(end - first, 0);
    for (size_t i = first; i < end; ++i) searches[i].code = connection.sendSearch(searches[i].args, ids[i - first]);
    // Every sent search is collected; once the server is gone, each collect
    // fails at once (the connection is not used again).
    for (size_t i = first; i < end; ++i)
      if (searches[i].code == LDAP_SUCCESS)
        searches[i].code = connection.collectSearch(ids[i - first], searches[i].args, searches[i].outcome);
  }
}

LdapSearchArgs entryReadArgs(std::string dn, const Schema* schema, std::vector<std::string> attributes) {
  LdapSearchArgs args;
  args.base = std::move(dn);
  args.scope = LDAP_SCOPE_BASE;
  args.schema = schema;
  if (!attributes.empty()) {
    args.allAttributes = false;
    args.attributes = std::move(attributes);
  }
  return args;
}

}  // namespace adsi
