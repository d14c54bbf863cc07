// The listening socket, the accept loop and the connection threads: one
// thread per connection up to the limit (connections beyond it are closed at
// once), and a stop that refuses new connections and waits for the calls in
// flight.
#pragma once

#include "server_context.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class Listener {
 public:
  // False with a reason when the address cannot be bound. `loopbackOnly`
  // refuses any address outside 127.0.0.0/8 and ::1.
  bool open(const std::string &host, unsigned port, bool loopbackOnly, std::string &error);
  ~Listener();

  // "127.0.0.1:41234", the address really bound.
  std::string boundAddress() const;

  // Accepts until the context's stop descriptor becomes readable, then
  // waits for the connections to end (at most `drainSeconds`).
  // False when some were still running after drainSeconds.
  bool run(const ServerContext &context, unsigned maxConnections, unsigned drainSeconds);

 private:
  void connectionEnded();

  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable ended_;
  unsigned active_ = 0;
};
