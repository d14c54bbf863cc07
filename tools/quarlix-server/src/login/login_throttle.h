// Delays after failed logins, per client address and per login name, so
// that guessing passwords is slow wherever it comes from. Each failure
// doubles the delay of its address and of its name, from kFirstDelay up to
// kLongestDelay; a success clears both; failures are forgotten after
// kForgetAfter without one. Attempts on an address or name that has failed
// take turns: a login is given the time at which it may compute its hash,
// after those given before it, so parallel connections guess no faster
// than one.
// The tables hold at most kMaxEntries keys of each kind.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{250};
  static constexpr std::chrono::milliseconds kLongestDelay{8000};
  static constexpr std::chrono::minutes kForgetAfter{15};
  static constexpr size_t kMaxEntries = 4096;

  struct Turn {
    Clock::time_point at;                              // when the attempt may be checked
    bool addressCharged = false, nameCharged = false;  // counted as failed already
  };
  // The turn of the attempt of `name` from `address`. On an address or name
  // that has failed before, the attempt counts as failed until it succeeds,
  // so the next one waits longer. Past `deadline` nothing is taken (and
  // `at` is after the deadline).
  Turn turn(const std::string& address, const std::string& name, Clock::time_point deadline);
  void failed(const std::string& address, const std::string& name, const Turn& turn);
  void succeeded(const std::string& address, const std::string& name);

 private:
  struct Entry {
    unsigned failures = 0;
    Clock::time_point lastFailure{};
    Clock::time_point nextTurn{};
  };
  using Table = std::unordered_map<std::string, Entry>;
  static std::chrono::milliseconds delayAfter(unsigned failures);
  Entry& entry(Table& table, const std::string& key, Clock::time_point now);
  static void forgetOld(Table& table, Clock::time_point now);

  std::mutex mutex_;
  Table byAddress_, byName_;
};
