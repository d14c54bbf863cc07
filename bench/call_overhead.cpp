// Call overhead: how many calls a second the procedure answers in-process,
// through the host stand-in as a server would call it (no process start),
// on the embedded sample directory. Two roads: an object's own properties,
// and a search with exactly one result; each on one thread and on two.
// Every call is checked: it must return 0 and send one row.
//
//   call_overhead SAMPLE.ldif [SECONDS]   prints one JSON object per line
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "adsi_compat.h"
#include "opends_host.h"

extern "C" int quarlix(SRV_PROC* srvproc);

namespace {

using Clock = std::chrono::steady_clock;

struct Road {
  const char* name;
  std::vector<std::string> values;  // positional varchar parameters
};

const Road kRoads[] = {
    {"object", {"LDAP://CN=Alice Smith,OU=Sales,OU=Staff,DC=corp,DC=example,DC=com"}},
    {"search", {"LDAP://DC=corp,DC=example,DC=com", "(cn=Alice Smith)", "cn,mail,title,telephoneNumber"}},
};

using Connection = std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)>;

// One call on a fresh connection; false when it failed or did not send
// exactly one row.
bool callOnce(const Road& road) {
  Connection connection(OdsHostCreate(), OdsHostDestroy);
  if (!connection) return false;
  for (const std::string& value : road.values)
    if (!OdsHostAddParam(connection.get(), nullptr, SRVVARCHAR, value.data(), static_cast<int>(value.size())))
      return false;
  if (quarlix(connection.get()) != 0) return false;
  const int events = OdsHostEventCount(connection.get());
  OdsEvent done{};
  return events > 0 && OdsHostGetEvent(connection.get(), events - 1, &done) && done.kind == ODS_EVENT_SENDDONE &&
         done.count == 1;
}

struct Outcome {
  long calls = 0;
  double seconds = 0;
  bool failed = false;
};

// Each thread calls until the time is up; the rate is all calls over the
// wall time of the slowest thread.
Outcome run(const Road& road, int threads, double seconds) {
  std::atomic<long> calls{0};
  std::atomic<bool> failed{false};
  const Clock::time_point start = Clock::now();
  const Clock::time_point stop =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      long mine = 0;
      while (Clock::now() < stop && !failed) {
        if (!callOnce(road)) failed = true;
        ++mine;
      }
      calls += mine;
    });
  for (std::thread& worker : workers) worker.join();
  Outcome outcome;
  outcome.calls = calls;
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.failed = failed;
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: call_overhead SAMPLE.ldif [SECONDS]\n");
    return 2;
  }
  const double seconds = argc == 3 ? std::atof(argv[2]) : 2.0;
  char reason[512] = {};
  if (FAILED(AdsCompatMountLdif(argv[1], reason, sizeof reason))) {
    std::fprintf(stderr, "cannot mount %s: %s\n", argv[1], reason);
    return 1;
  }
  for (const Road& road : kRoads) {
    if (!callOnce(road)) {  // also warms up what a first call sets up
      std::fprintf(stderr, "the %s road does not answer with one row\n", road.name);
      return 1;
    }
    for (int threads : {1, 2}) {
      const Outcome outcome = run(road, threads, seconds);
      if (outcome.failed) {
        std::fprintf(stderr, "a call on the %s road failed (%d threads)\n", road.name, threads);
        return 1;
      }
      std::printf("{\"road\":\"%s\",\"threads\":%d,\"calls\":%ld,\"seconds\":%.4f,\"calls_per_second\":%.1f}\n",
                  road.name, threads, outcome.calls, outcome.seconds, outcome.calls / outcome.seconds);
    }
  }
  AdsCompatUnmount();
  return 0;
}
