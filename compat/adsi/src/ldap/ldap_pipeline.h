// Several search operations on one connection without waiting for each
// answer in turn: the requests go out together (at most kPipelineDepth at a
// time), then the answers are collected in order. A batch costs about one
// round trip instead of one per operation, and its first requests may go out
// before the caller wants the answers (SearchPipeline).
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

// Requests one pipeline may send before its answers are wanted: few enough
// that another pipeline collecting meanwhile stays under the server's limit.
constexpr size_t kSentAhead = 16;

// Searches whose first `ahead` requests go out when it is made, so that the
// server works on them while the caller does something else; collect reads
// every answer, in order, sending the rest a chunk at a time. What was sent
// is collected also when the pipeline is dropped unread, so that the
// connection keeps no answer waiting for nobody.
class SearchPipeline {
 public:
  SearchPipeline(LdapConnection& connection, std::vector<PipelinedSearch> searches, size_t ahead = kPipelineDepth);
  ~SearchPipeline();
  SearchPipeline(const SearchPipeline&) = delete;
  SearchPipeline& operator=(const SearchPipeline&) = delete;

  std::vector<PipelinedSearch>& collect();

 private:
  void send(size_t count);

  LdapConnection& connection_;
  std::vector<PipelinedSearch> searches_;
  std::vector<int> tickets_;
  size_t sent_ = 0;
  size_t collected_ = 0;
};

// The same at once.
void searchTogether(LdapConnection& connection, std::vector<PipelinedSearch>& searches);

// A base-scope read of one entry: all its user attributes, or `attributes`.
LdapSearchArgs entryReadArgs(std::string dn, const Schema* schema, std::vector<std::string> attributes = {});

}  // namespace adsi
