#include "login/login_throttle.h"

#include <algorithm>
#include <cctype>

namespace {

std::string folded(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::chrono::milliseconds LoginThrottle::delayAfter(unsigned failures) {
  if (failures == 0) return std::chrono::milliseconds(0);
  std::chrono::milliseconds delay = kFirstDelay;
  for (unsigned i = 1; i < failures && delay < kLongestDelay; ++i) delay *= 2;
  return std::min(delay, std::chrono::milliseconds(kLongestDelay));
}

void LoginThrottle::forgetOld(Table& table, Clock::time_point now) {
  for (auto it = table.begin(); it != table.end();) {
    if (now - it->second.lastFailure > kForgetAfter && it->second.nextTurn <= now)
      it = table.erase(it);
    else
      ++it;
  }
  // Still full of recent failures: the oldest go, their delays with them.
  while (table.size() >= kMaxEntries) {
    auto oldest = std::min_element(table.begin(), table.end(), [](const auto& a, const auto& b) {
      return a.second.lastFailure < b.second.lastFailure;
    });
    table.erase(oldest);
  }
}

LoginThrottle::Entry& LoginThrottle::entry(Table& table, const std::string& key, Clock::time_point now) {
  auto found = table.find(key);
  if (found == table.end()) {
    if (table.size() >= kMaxEntries) forgetOld(table, now);
    found = table.emplace(key, Entry{}).first;
  } else if (now - found->second.lastFailure > kForgetAfter) {
    found->second.failures = 0;
  }
  return found->second;
}

LoginThrottle::Turn LoginThrottle::turn(const std::string& address, const std::string& name,
                                        Clock::time_point deadline) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  Entry& a = entry(byAddress_, address, now);
  Entry& n = entry(byName_, folded(name), now);
  Turn turn;
  turn.at = std::max({now, a.nextTurn, n.nextTurn});
  if (turn.at > deadline) return turn;
  // A clean address or name logs in in parallel; after a failure, attempts
  // take turns, each counted as failed until it succeeds.
  auto charge = [&](Entry& e) {
    if (e.failures == 0) return false;
    ++e.failures;
    e.lastFailure = now;
    e.nextTurn = turn.at + delayAfter(e.failures);
    return true;
  };
  turn.addressCharged = charge(a);
  turn.nameCharged = charge(n);
  return turn;
}

void LoginThrottle::failed(const std::string& address, const std::string& name, const Turn& turn) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  auto fail = [&](Entry& e, bool charged) {
    if (!charged) ++e.failures;
    e.lastFailure = now;
    e.nextTurn = std::max(e.nextTurn, now + delayAfter(e.failures));
  };
  fail(entry(byAddress_, address, now), turn.addressCharged);
  fail(entry(byName_, folded(name), now), turn.nameCharged);
}

void LoginThrottle::succeeded(const std::string& address, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  byAddress_.erase(address);
  byName_.erase(folded(name));
}
