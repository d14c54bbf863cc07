// The LDIF loader: the input is mounted as the directory. Text that does not
// load must say where and why ("SOURCE:LINE: reason"); text that loads is
// then read whole: a subtree search reading every column of every entry
// (each value through the schema's conversions), then calls of the
// procedure on it (a search for everything, and the properties and children
// of the first entries found), each giving one complete answer and leaving
// nothing alive.
#include <cstdint>
#include <cstring>
#include <string>

#include "adserr.h"
#include "adsi_compat.h"
#include "directory_search.h"
#include "fuzz_check.h"
#include "live_counters.h"
#include "recorded_call.h"

namespace {

constexpr char kSource[] = "input.ldif";

void checkCall(const std::vector<CallParameter>& parameters) {
  const RecordedCall call = runRecordedCall(parameters);
  const std::string violation = answerViolation(call);
  FUZZ_REQUIRE(violation.empty(), violation + "\n" + call.text());
}

CallParameter text(std::string value) { return CallParameter{std::nullopt, SRVVARCHAR, std::move(value)}; }

void readDirectory() {
  IDirectorySearch* search = nullptr;
  // A serverless path with a host only names the directory's root.
  if (ADsGetObject(u"LDAP://localhost", IID_IDirectorySearch, reinterpret_cast<void**>(&search)) != S_OK) return;
  const SearchOutcome all =
      runSearch(search, u"(|(objectClass=*)(!(objectClass=*)))", ADS_SCOPE_SUBTREE, 50, true, 200);
  search->Release();
  FUZZ_REQUIRE(SUCCEEDED(all.result) || all.result == E_ADS_CANT_CONVERT_DATATYPE,
               "reading the loaded directory failed with " + std::to_string(all.result));

  checkCall({text("LDAP://localhost"), text("(objectClass=*)")});
  for (size_t i = 0; i < all.paths.size() && i < 2; ++i) {
    checkCall({text(all.paths[i])});
    checkCall({text(all.paths[i]), text(""), text("*"), text("GET_CHILD_OBJECTS")});
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CoInitialize(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const LiveCounters before = LiveCounters::now();
  AdsCompatUnmount();
  char reason[512];
  std::memset(reason, 'x', sizeof reason);
  const HRESULT mounted =
      AdsCompatMountLdifBuffer(kSource, reinterpret_cast<const char*>(data), size, reason, sizeof reason);
  FUZZ_REQUIRE(std::memchr(reason, 0, sizeof reason), "the reason is not terminated");
  if (mounted == S_OK) {
    FUZZ_REQUIRE(reason[0] == 0, std::string("a reason for a mounted text: ") + reason);
    readDirectory();
  } else {
    const std::string prefix = std::string(kSource) + ":";
    FUZZ_REQUIRE(std::strncmp(reason, prefix.c_str(), prefix.size()) == 0,
                 std::string("a reason that does not say where: ") + reason);
  }
  AdsCompatUnmount();
  const std::string moved = counterChanges(before, LiveCounters::now());
  FUZZ_REQUIRE(moved.empty(), "loading left " + moved);
  return 0;
}
