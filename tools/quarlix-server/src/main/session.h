// One client connection from PRELOGIN to close, on its own thread: the
// handshake (and TLS), the login, then one request at a time. Whatever the
// client sends, the session ends by closing its connection; it never takes
// the server down with it.
#pragma once

#include "login/gss_holders.h"
#include "main/server_context.h"
#include "net/listener.h"
#include "net/packet_channel.h"
#include "tds/login7.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sql {
class Requests;
}

class Session {
 public:
  Session(const Connection& connection, const ServerContext& context);
  void run() noexcept;

 private:
  bool handshake();
  bool login();
  // An integrated login's name (its principal), or the refusal; the
  // acceptor's last token goes to `reply`, why it is admitted to `how`.
  std::string integratedLogin(const tds::Login7& login, std::string& reply, std::string& how);
  void serve();
  // False when the connection must close afterwards.
  bool runRpc(sql::Requests& requests, const tds::Message& message);
  // The login's end for a client that does not get in: one error, then the close.
  [[noreturn]] void refuseLogin(std::uint32_t version, std::int32_t number, std::uint8_t severity,
                                const std::string& text, const std::string& why);
  tds::Clock::time_point idleDeadline() const;
  std::string who() const;

  Connection connection_;
  const ServerContext& context_;
  tds::PacketChannel channel_;
  std::uint32_t version_ = 0;
  std::string user_;
  GssCredential caller_;                    // with --delegate: the logged-in principal's credential, for the directory
  std::optional<tds::Message> earlyLogin_;  // a LOGIN7 that came without PRELOGIN
};
