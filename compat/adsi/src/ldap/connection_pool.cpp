#include "ldap/connection_pool.h"

#include <algorithm>
#include <atomic>

#include "diagnostics.h"
#include "ldap/failure_reason.h"

namespace adsi {
namespace {

// Set once the pool is gone (the process is ending): stores released after
// it close their connections themselves.
std::atomic<bool> g_poolEnded{false};

}  // namespace

ConnectionPool& ConnectionPool::instance() {
  static ConnectionPool pool;
  return pool;
}

bool ConnectionPool::ended() { return g_poolEnded.load(); }

ConnectionPool::~ConnectionPool() {
  g_poolEnded = true;
  std::vector<std::shared_ptr<LdapConnection>> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    expireLocked(Clock::now(), true, closing);
  }
  changed_.notify_all();
  if (closer_.joinable()) closer_.join();
}

HRESULT ConnectionPool::take(const ConnectionKey& key, const LdapTarget& target, const AdsiConfig& config,
                             const BindIdentity& identity, std::shared_ptr<LdapConnection>& connection) {
  connection.reset();
  for (;;) {
    std::shared_ptr<LdapConnection> candidate;
    Clock::duration idleFor{};
    std::vector<std::shared_ptr<LdapConnection>> closing;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const Clock::time_point now = Clock::now();
      expireLocked(now, false, closing);
      for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
        if (it->key != key) continue;
        candidate = std::move(it->connection);
        idleFor = now - it->since;
        idle_.erase(std::next(it).base());
        break;
      }
    }
    closing.clear();  // closed outside the lock: an unbind goes to the server
    if (!candidate) break;
    const long long idleMs = std::chrono::duration_cast<std::chrono::milliseconds>(idleFor).count();
    if (!candidate->stillOpen()) {
      traceLine("the connection to " + target.uri + " idle for " + std::to_string(idleMs) +
                " ms was closed by the server: not reused");
      continue;
    }
    candidate->beginReuse();
    traceLine("connection to " + target.uri + " reused: bound " + identity.text() + ", idle for " +
              std::to_string(idleMs) + " ms");
    connection = std::move(candidate);
    return S_OK;
  }
  return LdapConnection::open(target, config, identity, connection);
}

void ConnectionPool::giveBack(const ConnectionKey& key, std::shared_ptr<LdapConnection> connection, int idleSeconds) {
  const Clock::time_point now = Clock::now();
  if (!connection || idleSeconds <= 0 ||
      now - connection->openedAt() >= std::chrono::seconds(kMaxConnectionAgeSeconds) || !connection->reusable())
    return;  // `connection` closes as it goes
  std::vector<std::shared_ptr<LdapConnection>> closing;
  std::lock_guard<std::mutex> lock(mutex_);
  if (ending_) return;
  const size_t sameKey = std::count_if(idle_.begin(), idle_.end(), [&](const Idle& i) { return i.key == key; });
  if (sameKey >= kMaxIdlePerKey) {
    auto oldest = std::find_if(idle_.begin(), idle_.end(), [&](const Idle& i) { return i.key == key; });
    closing.push_back(std::move(oldest->connection));
    idle_.erase(oldest);
  }
  idle_.push_back(Idle{key, std::move(connection), now, now + std::chrono::seconds(idleSeconds)});
  if (closing_) {
    changed_.notify_all();
    return;
  }
  // The closer ended when the last idle connection went; it has let go of
  // the lock for good, so joining it here is quick.
  if (closer_.joinable()) closer_.join();
  closing_ = true;
  closer_ = std::thread(&ConnectionPool::closeWhenIdleEnds, this);
}

void ConnectionPool::expireLocked(Clock::time_point now, bool everything,
                                  std::vector<std::shared_ptr<LdapConnection>>& closing) {
  auto past = [&](const Idle& i) { return everything || i.until <= now; };
  for (Idle& i : idle_)
    if (past(i)) closing.push_back(std::move(i.connection));
  idle_.erase(std::remove_if(idle_.begin(), idle_.end(), past), idle_.end());
}

void ConnectionPool::closeWhenIdleEnds() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ending_ && !idle_.empty()) {
    Clock::time_point next = idle_.front().until;
    for (const Idle& i : idle_) next = std::min(next, i.until);
    changed_.wait_until(lock, next);
    std::vector<std::shared_ptr<LdapConnection>> closing;
    expireLocked(Clock::now(), false, closing);
    if (closing.empty()) continue;
    lock.unlock();
    closing.clear();
    lock.lock();
  }
  closing_ = false;
}

}  // namespace adsi
