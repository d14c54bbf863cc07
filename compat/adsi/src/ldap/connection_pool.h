// Connections kept open between calls, as ADSI keeps its own: a host that
// makes many small calls (quarlix-server) pays the connection, TLS, bind and
// root DSE and schema reads once, not per call. A store takes a connection
// for as long as it lives and gives it back when it is released; nobody else
// uses it meanwhile. Connections are matched by their key (connection_key.h),
// so a changed configuration, password or ticket gets a new one.
//
// An idle connection is closed after the configuration's idle_timeout, and
// one open for kMaxConnectionAgeSeconds is not kept (a long-lived host sees
// schema changes, and rotated certificates and tickets); one the server has
// closed meanwhile is never handed out (LdapConnection::stillOpen).
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ldap/connection_key.h"
#include "ldap/ldap_connection.h"

namespace adsi {

constexpr int kMaxConnectionAgeSeconds = 600;
// Idle connections kept for one key: more than a host runs calls at once
// would be pointless.
constexpr size_t kMaxIdlePerKey = 16;

class ConnectionPool {
 public:
  static ConnectionPool& instance();
  // True once the process's pool is gone (it is ending): a connection given
  // back then closes instead.
  static bool ended();
  ~ConnectionPool();

  // An idle connection of `key` that is still open ("reused", in the
  // trace), else a new one.
  HRESULT take(const ConnectionKey& key, const LdapTarget& target, const AdsiConfig& config,
               const BindIdentity& identity, std::shared_ptr<LdapConnection>& connection);
  // Keeps `connection` for `idleSeconds` when it is in order for another
  // user; closes it otherwise.
  void giveBack(const ConnectionKey& key, std::shared_ptr<LdapConnection> connection, int idleSeconds);

 private:
  using Clock = std::chrono::steady_clock;
  struct Idle {
    ConnectionKey key;
    std::shared_ptr<LdapConnection> connection;
    Clock::time_point since;
    Clock::time_point until;
  };

  ConnectionPool() = default;
  // Moves the idle connections past their time (all, with `everything`) to
  // `closing`, for the caller to close outside the lock.
  void expireLocked(Clock::time_point now, bool everything, std::vector<std::shared_ptr<LdapConnection>>& closing);
  // Closes idle connections when their time comes, while there are any.
  void closeWhenIdleEnds();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Idle> idle_;  // the most recently given back last
  std::thread closer_;
  bool closing_ = false;  // closer_ is running
  bool ending_ = false;   // the process is ending: closer_ stops
};

}  // namespace adsi
