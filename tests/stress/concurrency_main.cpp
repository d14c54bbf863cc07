// stress_concurrency: many calls at once, each on a thread of its own as the
// server makes them, must answer exactly as the same calls run one by one.
//
// First every catalogue call runs alone, twice (each time on a fresh
// thread), giving its reference record; then waves of --threads threads
// start together behind a gate, each thread making one call picked at
// random, --waves times. Every record (every srv_* call with its arguments
// and cells) must equal the reference, and afterwards nothing the calls
// made may be left alive.
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "call_catalogue.h"
#include "live_counters.h"

namespace {

// Holds threads until all of a wave are ready, so their calls overlap.
class Gate {
 public:
  explicit Gate(size_t expected) : expected_(expected) {}
  void arriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (++arrived_ == expected_) {
      open_.notify_all();
      return;
    }
    open_.wait(lock, [this] { return arrived_ == expected_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable open_;
  size_t expected_;
  size_t arrived_ = 0;
};

RecordedCall callOnOwnThread(const CatalogueCall& call) {
  RecordedCall record;
  std::thread worker([&] { record = runRecordedCall(call.parameters); });
  worker.join();
  return record;
}

// The first line where two records part, for the report.
std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected), b(actual);
  std::string lineA, lineB;
  for (int number = 1;; ++number) {
    const bool moreA = static_cast<bool>(std::getline(a, lineA));
    const bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "no difference";
    if (lineA != lineB || moreA != moreB)
      return "event " + std::to_string(number) + ":\n  alone:      " + (moreA ? lineA : "(end)") +
             "\n  concurrent: " + (moreB ? lineB : "(end)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  StressOptions options;
  options.numbers = {{"threads", 16}, {"waves", 25}, {"seed", 1}};
  std::vector<CatalogueCall> calls;
  std::string error;
  if (!prepareStress(argc, argv, options, calls, error)) {
    std::fprintf(stderr, "stress_concurrency: %s\n", error.c_str());
    return 2;
  }
  const size_t threads = static_cast<size_t>(options.numbers["threads"]);
  const long waves = options.numbers["waves"];

  int failures = 0;
  std::vector<std::string> reference;
  for (const CatalogueCall& call : calls) {
    const RecordedCall first = callOnOwnThread(call);
    const RecordedCall second = callOnOwnThread(call);
    const std::string violation = answerViolation(first);
    if (!violation.empty()) {
      std::fprintf(stderr, "%s: %s\n%s", call.where.c_str(), violation.c_str(), first.text().c_str());
      ++failures;
    }
    if (first.text() != second.text()) {
      std::fprintf(stderr, "%s: two runs alone differ at %s\n", call.where.c_str(),
                   firstDifference(first.text(), second.text()).c_str());
      ++failures;
    }
    reference.push_back(first.text());
  }

  const LiveCounters baseline = LiveCounters::now();
  std::mt19937 random(static_cast<unsigned>(options.numbers["seed"]));
  long made = 0, mismatches = 0;
  for (long wave = 0; wave < waves; ++wave) {
    std::vector<size_t> picks(threads);
    for (size_t& pick : picks) pick = random() % calls.size();
    std::vector<std::string> records(threads);
    Gate gate(threads);
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t)
      workers.emplace_back([&, t] {
        gate.arriveAndWait();
        records[t] = runRecordedCall(calls[picks[t]].parameters).text();
      });
    for (std::thread& worker : workers) worker.join();
    for (size_t t = 0; t < threads; ++t, ++made) {
      if (records[t] == reference[picks[t]]) continue;
      if (++mismatches <= 5)
        std::fprintf(stderr, "%s: wave %ld differs from the call alone at %s\n", calls[picks[t]].where.c_str(), wave,
                     firstDifference(reference[picks[t]], records[t]).c_str());
    }
  }
  const std::string left = counterChanges(baseline, LiveCounters::now());
  if (!left.empty()) {
    std::fprintf(stderr, "the concurrent calls left %s\n", left.c_str());
    ++failures;
  }
  std::printf(
      "%ld concurrent calls (%ld waves of %zu threads) over %zu catalogue calls: %ld differ from the call alone\n",
      made, waves, threads, calls.size(), mismatches);
  return failures || mismatches ? 1 : 0;
}
