#include "ldap/ldap_pipeline.h"

#include <algorithm>

namespace adsi {

SearchPipeline::SearchPipeline(LdapConnection& connection, std::vector<PipelinedSearch> searches, size_t ahead)
    : connection_(connection), searches_(std::move(searches)), tickets_(searches_.size(), 0) {
  send(ahead);
}

SearchPipeline::~SearchPipeline() {
  for (; collected_ < sent_; ++collected_) {
    PipelinedSearch& search = searches_[collected_];
    if (search.code == LDAP_SUCCESS) connection_.collectSearch(tickets_[collected_], search.args, search.outcome);
  }
}

void SearchPipeline::send(size_t count) {
  const size_t end = std::min(searches_.size(), sent_ + count);
  for (; sent_ < end; ++sent_) searches_[sent_].code = connection_.sendSearch(searches_[sent_].args, tickets_[sent_]);
}

std::vector<PipelinedSearch>& SearchPipeline::collect() {
  for (; collected_ < searches_.size(); ++collected_) {
    if (collected_ == sent_) send(kPipelineDepth);
    // Every sent search is collected; once the server is gone, each collect
    // fails at once (the connection is not used again).
    PipelinedSearch& search = searches_[collected_];
    if (search.code == LDAP_SUCCESS)
      search.code = connection_.collectSearch(tickets_[collected_], search.args, search.outcome);
  }
  return searches_;
}

void searchTogether(LdapConnection& connection, std::vector<PipelinedSearch>& searches) {
  SearchPipeline pipeline(connection, std::move(searches));
  searches = std::move(pipeline.collect());
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
