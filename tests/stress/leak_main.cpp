// stress_leaks: --count calls in one process, round-robin over the
// catalogue (every road and failure road), must leave nothing behind. With
// --faults, every other round of the catalogue runs under the next fault of
// the file in turn, so that every call also meets every fault. After every call the live BSTRs,
// SAFEARRAYs, ADSI objects and AllocADsMem blocks are back at their
// baseline, and every answer equals the first answer to the same call under
// the same fault (no call sees what an earlier one left). After --warmup
// calls the resident set may still grow by --rss-growth-kb at most (0: not
// checked; sanitizers keep freed memory in quarantine). Run it under
// valgrind --leak-check=full to see every block of the heap as well.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "call_catalogue.h"
#include "injected_faults.h"
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
  std::vector<InjectedFault> faults;
  std::string error;
  if (!prepareStress(argc, argv, options, calls, error) ||
      (!options.faults.empty() && !readFaults(options.faults, faults, error))) {
    std::fprintf(stderr, "stress_leaks: %s\n", error.c_str());
    return 2;
  }
  // --count 0: just enough rounds for each call to meet each fault once.
  const long count = options.numbers["count"] > 0
                         ? options.numbers["count"]
                         : static_cast<long>(calls.size() * 2 * std::max<size_t>(faults.size(), 1));
  const long warmup = options.numbers["warmup"];
  const long growthBound = options.numbers["rss-growth-kb"];

  const LiveCounters baseline = LiveCounters::now();
  // Digests of the first answers by (call, fault), fault 0 being none: kept
  // small, so that they do not grow the resident set being watched.
  std::map<std::pair<size_t, size_t>, size_t> firstAnswers;
  std::set<size_t> faultsThatMattered;
  long residentAfterWarmup = residentKb(), failures = 0, faulted = 0;
  for (long i = 0; i < count && failures < 5; ++i) {
    if (i == warmup) residentAfterWarmup = residentKb();
    const size_t which = static_cast<size_t>(i) % calls.size();
    const size_t round = static_cast<size_t>(i) / calls.size();
    const size_t fault = round % 2 == 0 || faults.empty() ? 0 : round / 2 % faults.size() + 1;
    const CatalogueCall& call = calls[which];
    if (fault) {
      faults[fault - 1].arm();
      ++faulted;
    }
    const RecordedCall record = runRecordedCall(call.parameters);
    InjectedFault::disarmAll();
    const std::string under = fault ? " under " + faults[fault - 1].describe() : "";

    const std::string left = counterChanges(baseline, LiveCounters::now());
    if (!left.empty()) {
      std::fprintf(stderr, "call %ld, %s%s: left %s\n  %s\n", i, call.where.c_str(), under.c_str(), left.c_str(),
                   call.line.c_str());
      ++failures;
    }
    const std::string answer = record.text();
    const size_t digest = std::hash<std::string>()(answer);
    const auto [first, isFirst] = firstAnswers.emplace(std::make_pair(which, fault), digest);
    if (isFirst) {
      const std::string violation = answerViolation(record);
      if (!violation.empty()) {
        std::fprintf(stderr, "%s%s: %s\n%s", call.where.c_str(), under.c_str(), violation.c_str(), answer.c_str());
        ++failures;
      }
      const auto unfaulted = firstAnswers.find({which, 0});
      if (fault && unfaulted != firstAnswers.end() && unfaulted->second != digest) faultsThatMattered.insert(fault);
    } else if (digest != first->second) {
      std::fprintf(stderr, "call %ld, %s%s: the answer differs from the first one\n", i, call.where.c_str(),
                   under.c_str());
      ++failures;
    }
  }
  const long residentAtEnd = residentKb();
  const long growth = residentAtEnd - residentAfterWarmup;
  std::printf(
      "%ld calls over %zu catalogue calls, %ld of them under one of %zu faults (%zu changed an answer); "
      "resident %ld kB after %ld warm-up calls, %ld kB at the end (growth %ld kB, bound %s)\n",
      count, calls.size(), faulted, faults.size(), faultsThatMattered.size(), residentAfterWarmup, warmup,
      residentAtEnd, growth, growthBound > 0 ? (std::to_string(growthBound) + " kB").c_str() : "not checked");
  for (size_t f = 1; f <= faults.size() && faulted >= static_cast<long>(calls.size() * faults.size()); ++f)
    if (!faultsThatMattered.count(f)) std::printf("  no answer changed under %s\n", faults[f - 1].describe().c_str());
  if (growthBound > 0 && growth > growthBound) {
    std::fprintf(stderr, "the resident set grew by %ld kB after the warm-up\n", growth);
    ++failures;
  }
  return failures ? 1 : 0;
}
