// stress_leaks: --count calls in one process, round-robin over the
// catalogue (every road and failure road), must leave nothing behind. After
// every call the live BSTRs, SAFEARRAYs, ADSI objects and AllocADsMem blocks
// are back at their baseline, and every answer equals the first answer to
// the same call (no call sees what an earlier one left). After --warmup
// calls the resident set may still grow by --rss-growth-kb at most (0: not
// checked; sanitizers keep freed memory in quarantine). Run it under
// valgrind --leak-check=full to see every block of the heap as well.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "call_catalogue.h"
#include "live_counters.h"

namespace {

long residentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  StressOptions options;
  options.numbers = {{"count", 10000}, {"warmup", 1000}, {"rss-growth-kb", 16384}};
  std::vector<CatalogueCall> calls;
  std::string error;
  if (!prepareStress(argc, argv, options, calls, error)) {
    std::fprintf(stderr, "stress_leaks: %s\n", error.c_str());
    return 2;
  }
  const long count = options.numbers["count"];
  const long warmup = options.numbers["warmup"];
  const long growthBound = options.numbers["rss-growth-kb"];

  const LiveCounters baseline = LiveCounters::now();
  std::vector<std::string> firstAnswers(calls.size());
  long residentAfterWarmup = residentKb(), failures = 0;
  for (long i = 0; i < count && failures < 5; ++i) {
    if (i == warmup) residentAfterWarmup = residentKb();
    const size_t which = static_cast<size_t>(i) % calls.size();
    const CatalogueCall& call = calls[which];
    const RecordedCall record = runRecordedCall(call.parameters);
    const std::string left = counterChanges(baseline, LiveCounters::now());
    if (!left.empty()) {
      std::fprintf(stderr, "call %ld, %s: left %s\n  %s\n", i, call.where.c_str(), left.c_str(), call.line.c_str());
      ++failures;
    }
    const std::string answer = record.text();
    if (firstAnswers[which].empty()) {
      const std::string violation = answerViolation(record);
      if (!violation.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", call.where.c_str(), violation.c_str(), answer.c_str());
        ++failures;
      }
      firstAnswers[which] = answer;
    } else if (answer != firstAnswers[which]) {
      std::fprintf(stderr, "call %ld, %s: the answer differs from the first one\n", i, call.where.c_str());
      ++failures;
    }
  }
  const long residentAtEnd = residentKb();
  const long growth = residentAtEnd - residentAfterWarmup;
  std::printf("%ld calls over %zu catalogue calls; resident %ld kB after %ld warm-up calls, %ld kB at the end "
              "(growth %ld kB, bound %s)\n",
              count, calls.size(), residentAfterWarmup, warmup, residentAtEnd, growth,
              growthBound > 0 ? (std::to_string(growthBound) + " kB").c_str() : "not checked");
  if (growthBound > 0 && growth > growthBound) {
    std::fprintf(stderr, "the resident set grew by %ld kB after the warm-up\n", growth);
    ++failures;
  }
  return failures ? 1 : 0;
}
