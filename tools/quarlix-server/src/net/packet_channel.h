// One client connection's byte stream as TDS messages: reads packets with
// time-outs (a half-sent packet does not hold the thread), joins them into
// messages, writes answers split into packets of the agreed size, and runs
// the TLS handshake inside PRELOGIN packets, after which everything goes
// through TLS. Owns the socket and the TLS state.
#pragma once

#include "net/message_assembler.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tds {

using Clock = std::chrono::steady_clock;

// The connection cannot go on: closed by the client, timed out, refused
// input, or the server is stopping. The text says which, for the log.
class ChannelClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PacketChannel {
 public:
  // A client that has not taken any of its answer for kStallGrace is
  // stalled; it keeps its answer (and the memory behind it) for up to the
  // write time-out only while fewer than `limit` clients of the process are
  // stalled, and is closed otherwise. Set once, before any connection.
  static void setStalledLimit(unsigned limit);
  static constexpr std::chrono::seconds kStallGrace{2};

  // stopFd becomes readable when the server stops (a request already being
  // answered is still answered); abandonFd when it gives up on its
  // connections (every wait ends at once). -1: none.
  PacketChannel(int socketFd, int stopFd, int abandonFd = -1);
  ~PacketChannel();
  PacketChannel(const PacketChannel&) = delete;
  PacketChannel& operator=(const PacketChannel&) = delete;

  // The next whole message. Waiting for its first byte ends at `idleDeadline`
  // (or when the server stops, if `stoppable`); the rest of it must follow
  // within `messageTimeout`.
  Message readMessage(Clock::time_point idleDeadline, bool stoppable, std::chrono::milliseconds messageTimeout);

  // The next whole message, all of it by `deadline` (the login's), or when
  // the server stops.
  Message readMessageBefore(Clock::time_point deadline);

  // Sends one message, in packets of the agreed size.
  void send(std::uint8_t type, std::string_view payload);
  // A packet of a longer answer: not the end of the message.
  void sendPart(std::uint8_t type, std::string_view payload, bool last);

  // Bytes are waiting to be read now (an attention, or a client that does
  // not wait for its answer).
  bool inputWaiting();

  // The server was asked to stop.
  bool stopping() const;

  void setPacketSize(std::uint32_t size) { packetSize_ = size; }
  std::uint32_t packetSize() const { return packetSize_; }

  // The server's side of the TLS handshake, carried in PRELOGIN packets.
  void startTls(SSL_CTX* context, Clock::time_point deadline);
  bool encrypted() const { return tlsActive_; }

 private:
  size_t readSome(char* buffer, size_t size, Clock::time_point deadline, bool stoppable);
  void readExact(char* buffer, size_t size, Clock::time_point deadline, bool stoppable);
  void writeAll(std::string_view bytes);
  void writeRaw(std::string_view bytes, Clock::time_point deadline);
  // Waits until the socket takes more of the answer; false at the deadline.
  // Throws when the client is stalled and too many others are.
  bool waitToWrite(short events, Clock::time_point deadline);
  void wroteSome();
  // Waits for the socket; false at the deadline; throws when stopping.
  bool waitFor(short events, Clock::time_point deadline, bool stoppable);
  void sendPacket(std::uint8_t type, std::uint8_t status, std::string_view payload);

  int fd_;
  int stopFd_;
  int abandonFd_;
  SSL* ssl_ = nullptr;
  bool tlsActive_ = false;
  bool stalled_ = false;  // holds one of the stalled places
  std::uint32_t packetSize_ = 4096;
  std::uint8_t packetId_ = 1;
  MessageAssembler assembler_;
};

}  // namespace tds
