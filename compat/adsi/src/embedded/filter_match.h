// Evaluates a parsed filter against the embedded store's entries, with each
// attribute's matching rule and Active Directory's extensible rules.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "embedded/embedded_store.h"
#include "embedded/filter.h"

namespace adsi {

class FilterMatcher {
 public:
  FilterMatcher(EmbeddedStore& store, FilterNode filter);
  bool matches(const EmbeddedNode& node);

 private:
  enum class Truth { False, True, Undefined };
  Truth eval(const FilterNode& f, const EmbeddedNode& node);
  Truth evalItem(const FilterNode& f, const EmbeddedNode& node);
  Truth evalExtensible(const FilterNode& f, const EmbeddedNode& node);
  const std::unordered_set<std::string>& chain(const FilterNode& f, const std::string& target);

  EmbeddedStore& store_;
  FilterNode filter_;
  // LDAP_MATCHING_RULE_IN_CHAIN: the entries that reach the target, per node.
  std::unordered_map<const FilterNode*, std::unordered_set<std::string>> chains_;
};

}  // namespace adsi
