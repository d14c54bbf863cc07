// What every connection of one server shares: read-only after start-up,
// except the log, which serialises its lines.
#pragma once

#include "answer/code_page_text.h"
#include "login/login_book.h"
#include "procedure_call.h"
#include "sql/sql_session.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
class LoginThrottle;
struct IntegratedLogins;

class ServerLog {
 public:
  explicit ServerLog(bool quiet) : quiet_(quiet) {}
  ~ServerLog();
  // One line on standard error. Never given a password.
  void line(const std::string& text);
  // Only when not quiet: logins and ends of connections.
  void detail(const std::string& text) {
    if (!quiet_) line(text);
  }
  // The directory's notices become lines of this log, each naming the
  // connection whose call met it (the calling thread's label).
  void takeDirectoryNotices();
  // "connection 7 from 127.0.0.1:50312", for this thread's directory notices.
  static void labelThread(const std::string& connection);

 private:
  bool quiet_;
  std::mutex mutex_;
};

struct ServerContext {
  const LoginBook* logins = nullptr;             // replaced whole on SIGHUP
  LoginThrottle* throttle = nullptr;             // null: failed logins are not delayed
  const IntegratedLogins* integrated = nullptr;  // null: no --keytab, integrated logins are refused
  sql::ServerFacts sql;                          // the procedure, the code page, the names and version
  SSL_CTX* tls = nullptr;                        // null: no encryption
  int stopFd = -1;                               // readable once the server stops
  int abandonFd = -1;                            // readable once the listener gives up on its connections
  std::chrono::milliseconds loginTimeout{30000};
  std::chrono::milliseconds idleTimeout{0};  // 0: none
  std::chrono::milliseconds messageTimeout{30000};
  ServerLog* log = nullptr;
};
