// The embedded store's filter parser and evaluator, reached as a client
// reaches them: ExecuteSearch on a small fixed directory. The input is a
// mode byte (scope, page size, how the rest becomes UTF-16) and the filter.
// A filter that parses must also parse negated and doubled, and then
// (!f) never matches an entry that f matches, and (|f f) and (&f f) match
// exactly what f matches.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "adserr.h"
#include "adsi_compat.h"
#include "directory_search.h"
#include "fuzz_check.h"
#include "fuzz_directory.h"
#include "fuzz_input.h"
#include "live_counters.h"

namespace {

IDirectorySearch* g_search = nullptr;

// Bytes as UTF-16: one unit each, or little-endian pairs (any units, lone
// surrogates too).
std::u16string decode(const std::string& bytes, bool pairs) {
  std::u16string out;
  if (pairs) {
    out = FuzzInput::utf16Units(bytes);
  } else {
    for (char c : bytes) out += static_cast<char16_t>(static_cast<uint8_t>(c));
  }
  return out.substr(0, out.find(u'\0'));  // the filter is a zero-terminated string
}

// The filter as one parenthesised item of a larger filter.
std::u16string nested(const std::u16string& filter) {
  const size_t first = filter.find_first_not_of(u' ');
  return first != std::u16string::npos && filter[first] == u'(' ? filter : u"(" + filter + u")";
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CoInitialize(nullptr);
  mountFuzzDirectory();
  const std::u16string root = u"LDAP://DC=fuzz,DC=example";
  const HRESULT bound = ADsGetObject(root.c_str(), IID_IDirectorySearch, reinterpret_cast<void**>(&g_search));
  FUZZ_REQUIRE(bound == S_OK && g_search, "cannot bind the fuzz directory");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t mode = in.byte();
  const int scope = mode % 3;
  const int pageSizes[] = {0, 1, 2, 100};
  const int pageSize = pageSizes[(mode >> 2) % 4];
  const std::u16string filter = decode(in.rest(), mode & 0x10);

  const LiveCounters before = LiveCounters::now();
  {
    const SearchOutcome plain = runSearch(g_search, filter.c_str(), scope, pageSize, false, 1000);
    if (plain.result == S_OK) {
      const std::u16string item = nested(filter);
      const SearchOutcome negated = runSearch(g_search, (u"(!" + item + u")").c_str(), scope, pageSize, false, 1000);
      const SearchOutcome either =
          runSearch(g_search, (u"(|" + item + item + u")").c_str(), scope, pageSize, false, 1000);
      const SearchOutcome both =
          runSearch(g_search, (u"(&" + item + item + u")").c_str(), scope, pageSize, false, 1000);
      const std::string shown = " for " + narrow(filter);
      // One level more of nesting can pass the parser's depth limit.
      if (negated.result == S_OK) {
        for (const std::string& path : negated.paths)
          FUZZ_REQUIRE(std::find(plain.paths.begin(), plain.paths.end(), path) == plain.paths.end(),
                       "f and (!f) both match " + path + shown);
      }
      if (either.result == S_OK) FUZZ_REQUIRE(either.paths == plain.paths, "(|f f) differs from f" + shown);
      if (both.result == S_OK) FUZZ_REQUIRE(both.paths == plain.paths, "(&f f) differs from f" + shown);
      FUZZ_REQUIRE(negated.result == S_OK || negated.result == E_ADS_INVALID_FILTER, "(!f) failed otherwise" + shown);
    } else {
      FUZZ_REQUIRE(plain.result == E_ADS_INVALID_FILTER,
                   "a search failed with " + std::to_string(plain.result) + " instead of an invalid filter");
    }
  }
  const std::string moved = counterChanges(before, LiveCounters::now());
  FUZZ_REQUIRE(moved.empty(), "the search left " + moved);
  return 0;
}
