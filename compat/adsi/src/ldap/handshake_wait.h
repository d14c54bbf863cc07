// A layer under libldap's TLS that waits for the socket instead of spinning.
//
// libldap makes the socket non-blocking for a TLS handshake when a network
// time-out is set, and GnuTLS then retries a read that finds nothing at once,
// without waiting: a server that takes the ClientHello and never answers keeps
// a core busy for ever. While a deadline is armed, this layer (just above the
// socket, under TLS) waits in poll() for the socket to be ready, up to the deadline, and
// past it fails the read or write with ETIMEDOUT, which ends the handshake.
// Disarmed it passes everything through unchanged.
#pragma once

#include <lber.h>

#include <chrono>

namespace adsi {

struct HandshakeWait {
  bool armed = false;
  bool expired = false;  // a read or write waited until the deadline
  std::chrono::steady_clock::time_point deadline;

  void arm(int seconds) {
    armed = true;
    expired = false;
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  }
  void disarm() { armed = false; }
};

// Puts the layer on a connected socket; `wait` must outlive the socket.
int addHandshakeWait(Sockbuf* socket, HandshakeWait* wait);

// Arms `wait` for one step of set-up and disarms it at the end of the scope.
class HandshakeWaitScope {
 public:
  HandshakeWaitScope(HandshakeWait& wait, int seconds) : wait_(wait) { wait_.arm(seconds); }
  ~HandshakeWaitScope() { wait_.disarm(); }
  HandshakeWaitScope(const HandshakeWaitScope&) = delete;
  HandshakeWaitScope& operator=(const HandshakeWaitScope&) = delete;

 private:
  HandshakeWait& wait_;
};

}  // namespace adsi
