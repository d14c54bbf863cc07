// The check of one login. A LOGIN7's name and password: the attempt first
// waits its turn (LoginThrottle) so that no hash is computed for a guesser
// sooner than its delay allows, then the logins file decides. An integrated
// login, once its SSPI exchange says who the client is: the same turn, then
// the allowed principals and groups decide. Every failure is logged, with
// the login's name, the client's address and the reason (never the password
// nor a token), whatever --quiet says.
#pragma once

#include "tds/login7.h"
#include "net/packet_channel.h"
#include "main/server_context.h"

#include <optional>
#include <string>

struct LoginAttempt {
  std::string address;     // the client's address without its port
  std::string connection;  // "connection 7 from 127.0.0.1:50312", for the log
  tds::Clock::time_point deadline;
};

// The login's name as stored, or nullopt after logging why not. Throws
// ChannelClosed when the server stops during the wait.
std::optional<std::string> checkLogin(const ServerContext& context, const LoginAttempt& attempt,
                                      const tds::Login7& login);

// Why `principal` may log in ("named", "a member of CN=..."), or nullopt
// after logging why not: `failure` when the exchange proved nobody (the
// principal is then empty), or the allow list's reason. Throws ChannelClosed
// when the server stops during the wait.
std::optional<std::string> checkIntegratedLogin(const ServerContext& context, const LoginAttempt& attempt,
                                                const std::string& principal, const std::string& failure);
