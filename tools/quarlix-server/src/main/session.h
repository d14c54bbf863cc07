// One client connection from PRELOGIN to close, on its own thread: the
// handshake (and TLS), the login, then one request at a time. Whatever the
// client sends, the session ends by closing its connection; it never takes
// the server down with it.
#pragma once

#include "net/packet_channel.h"
#include "main/server_context.h"
#include "tds/token_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class StatementRunner;
class AdmissionTicket;

// How the listener let the connection in.
struct SessionStart {
  std::string address;                   // the client's address without its port
  tds::Clock::time_point loginDeadline;  // from connect to LOGINACK, never extended
  AdmissionTicket* ticket = nullptr;     // told when the login succeeds
  std::string refusal;                   // not empty: after its LOGIN7 the client is told this, and closed
};

class Session {
 public:
  Session(int socketFd, std::string peer, std::uint32_t number, const ServerContext& context, SessionStart start);
  void run() noexcept;

 private:
  bool handshake();
  bool login();
  void serve();
  // False when the connection must close afterwards.
  bool runRpc(StatementRunner& runner, const tds::Message& message);
  void sendError(std::int32_t number, std::uint8_t severity, const std::string& utf8);
  void sendDone(std::uint16_t status, std::uint64_t count = 0);
  tds::Clock::time_point idleDeadline() const;

  tds::PacketChannel channel_;
  std::string peer_;
  std::uint32_t number_;
  const ServerContext& context_;
  SessionStart start_;
  std::uint32_t version_ = 0;
  std::string user_;
  bool closeAfterRequest_ = false;
  std::optional<tds::Message> earlyLogin_;  // a LOGIN7 that came without PRELOGIN
};
