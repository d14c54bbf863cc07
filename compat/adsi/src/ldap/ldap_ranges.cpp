#include "ldap/ldap_ranges.h"

#include <memory>

#include "ldap/ldap_pipeline.h"
#include "text.h"

namespace adsi {
namespace {

// A bound on the reads of one attribute: a server that always gives one more
// value must not hold the call for ever.
constexpr size_t kMaxRounds = 100000;

struct Pending {
  size_t entry;
  size_t attribute;  // index in the entry's copy
  uint64_t next;     // the first value not read yet
};

}  // namespace

int completeRanges(LdapConnection& connection, const Schema* schema, std::vector<EntryPtr>& entries,
                   std::vector<int>& codes) {
  codes.assign(entries.size(), LDAP_SUCCESS);
  std::vector<std::shared_ptr<DirectoryEntry>> copies(entries.size());
  std::vector<Pending> pending;
  for (size_t e = 0; e < entries.size(); ++e) {
    if (!entries[e]) continue;
    for (size_t a = 0; a < entries[e]->attributes.size(); ++a) {
      ValueRange range;
      RangeOption option = parseValueRange(entries[e]->attributes[a].name, range);
      if (option == RangeOption::None) continue;
      if (!copies[e]) copies[e] = std::make_shared<DirectoryEntry>(*entries[e]);
      if (option == RangeOption::Malformed || range.low != 0) {
        codes[e] = LDAP_PROTOCOL_ERROR;
        continue;
      }
      copies[e]->attributes[a].name = range.name;
      if (!range.last) pending.push_back({e, a, range.high + 1});
    }
  }

  for (size_t round = 0; !pending.empty(); ++round) {
    // One read per entry for all its ranged attributes.
    std::vector<PipelinedSearch> reads;
    std::vector<size_t> readOf(pending.size());
    size_t lastEntry = entries.size();
    for (size_t p = 0; p < pending.size(); ++p) {  // pending is in entry order
      const Pending& item = pending[p];
      if (codes[item.entry] != LDAP_SUCCESS) continue;
      if (item.entry != lastEntry) {
        reads.push_back({entryReadArgs(entries[item.entry]->dn, schema, {}), LDAP_SUCCESS, {}});
        reads.back().args.allAttributes = false;
        lastEntry = item.entry;
      }
      reads.back().args.attributes.push_back(copies[item.entry]->attributes[item.attribute].name +
                                             ";range=" + std::to_string(item.next) + "-*");
      readOf[p] = reads.size() - 1;
    }
    if (round >= kMaxRounds)
      for (const Pending& item : pending) codes[item.entry] = LDAP_ADMINLIMIT_EXCEEDED;
    else
      searchTogether(connection, reads);

    std::vector<Pending> still;
    for (size_t p = 0; p < pending.size(); ++p) {
      Pending item = pending[p];
      int& code = codes[item.entry];
      if (code != LDAP_SUCCESS) continue;
      const PipelinedSearch& read = reads[readOf[p]];
      if (read.code != LDAP_SUCCESS) {
        code = read.code;
        continue;
      }
      if (read.outcome.entries.empty()) {
        code = LDAP_NO_SUCH_OBJECT;  // gone between the reads
        continue;
      }
      Attribute& whole = copies[item.entry]->attributes[item.attribute];
      const Attribute* part = nullptr;
      ValueRange range;
      for (const Attribute& a : read.outcome.entries.front()->attributes)
        if (parseValueRange(a.name, range) == RangeOption::Valid && equalsIgnoreCase(range.name, whole.name)) {
          part = &a;
          break;
        }
      // The next values must follow on from those read, and come with at
      // least one more unless they are the last.
      if (!part || range.low != item.next || (!range.last && part->values.empty())) {
        code = LDAP_PROTOCOL_ERROR;
        continue;
      }
      whole.values.insert(whole.values.end(), part->values.begin(), part->values.end());
      if (!range.last) still.push_back({item.entry, item.attribute, range.high + 1});
    }
    pending.swap(still);
  }

  int first = LDAP_SUCCESS;
  for (size_t e = 0; e < entries.size(); ++e) {
    if (codes[e] != LDAP_SUCCESS) {
      if (first == LDAP_SUCCESS) first = codes[e];
      continue;
    }
    if (!copies[e]) continue;
    for (Attribute& a : copies[e]->attributes) {
      a.type = schema ? schema->typeOf(a.name) : ADSTYPE_CASE_IGNORE_STRING;
      settleAttribute(a);  // the type of all the values; DN values as shown (again: no change)
    }
    entries[e] = std::move(copies[e]);
  }
  return first;
}

}  // namespace adsi
