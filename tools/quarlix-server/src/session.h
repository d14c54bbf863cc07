// One client connection from PRELOGIN to close, on its own thread: the
// handshake (and TLS), the login, then one request at a time. Whatever the
// client sends, the session ends by closing its connection; it never takes
// the server down with it.
#pragma once

#include "packet_channel.h"
#include "server_context.h"
#include "token_writer.h"

#include <cstdint>
#include <string>
#include <vector>

class Session {
 public:
  Session(int socketFd, std::string peer, std::uint32_t number, const ServerContext &context);
  void run() noexcept;

 private:
  bool handshake();
  bool login();
  void serve();
  void handleBatch(const tds::Message &message);
  void handleRpc(const tds::Message &message);
  // False when the connection must close afterwards.
  bool callProcedure(const std::vector<HostParameter> &parameters, bool inBatch);
  void sendError(std::int32_t number, std::uint8_t severity, const std::string &utf8, bool inProcedure = false);
  void sendDone(std::uint16_t status, std::uint64_t count = 0);
  void sendVersionRow();
  tds::Clock::time_point idleDeadline() const;

  tds::PacketChannel channel_;
  std::string peer_;
  std::uint32_t number_;
  const ServerContext &context_;
  std::uint32_t version_ = 0;
  std::string user_;
  bool closeAfterRequest_ = false;
};
