// Several search operations on one connection without waiting for each
// answer in turn: the requests go out together (at most kPipelineDepth at a
// time), then the answers are collected in order. A batch costs about one
// round trip instead of one per operation.
#pragma once

#include <vector>

#include "ldap/ldap_connection.h"

namespace adsi {

// Below slapd's default limit of requests an anonymous session may have
// waiting (conn_max_pending 100), beyond which it drops the connection.
constexpr size_t kPipelineDepth = 64;

struct PipelinedSearch {
  LdapSearchArgs args;
  int code = LDAP_SUCCESS;  // the LDAP result code
  LdapSearchOutcome outcome;
};

void searchTogether(LdapConnection& connection, std::vector<PipelinedSearch>& searches);

// A base-scope read of one entry: all its user attributes, or `attributes`.
LdapSearchArgs entryReadArgs(std::string dn, const Schema* schema, std::vector<std::string> attributes = {});

}  // namespace adsi
