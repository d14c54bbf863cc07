#include "faults.h"

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

namespace adsi::faults {
namespace {

struct Fault {
  HRESULT result;
  long skip;  // calls that still succeed before it fires
};

std::mutex g_mutex;
std::unordered_map<std::string, Fault> g_faults;
std::atomic<bool> g_armed{false};

}  // namespace

std::optional<HRESULT> check(const char* name, const char* more, const char* rest) {
  if (!g_armed.load(std::memory_order_relaxed)) return std::nullopt;
  std::string key = name;
  if (more) key += more;
  if (rest) key += rest;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_faults.find(key);
  if (it == g_faults.end()) return std::nullopt;
  if (it->second.skip > 0) {
    --it->second.skip;
    return std::nullopt;
  }
  return it->second.result;
}

bool armed() { return g_armed.load(std::memory_order_relaxed); }

void set(const char* name, HRESULT result, long skipCalls) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults[name] = Fault{result, skipCalls < 0 ? 0 : skipCalls};
  g_armed = true;
}

void clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults.clear();
  g_armed = false;
}

}  // namespace adsi::faults
