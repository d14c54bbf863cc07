// The listening socket, the accept loop and the connection threads: one
// thread per connection admitted (Admission: limits of all connections, of
// those not logged in, and of those per address), a short refusal in TDS for
// the others, and a stop that refuses new connections and waits for the
// calls in flight.
#pragma once

#include "net/admission.h"
#include "main/server_context.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class Listener {
 public:
  // False with a reason when the address cannot be bound. `loopbackOnly`
  // refuses any address outside 127.0.0.0/8 and ::1.
  bool open(const std::string& host, unsigned port, bool loopbackOnly, std::string& error);
  ~Listener();

  // "127.0.0.1:41234", the address really bound.
  std::string boundAddress() const;

  // Accepts until the context's stop descriptor becomes readable, then
  // waits for the connections to end (at most `drainSeconds`).
  // False when some were still running after drainSeconds.
  bool run(const ServerContext& context, const AdmissionLimits& limits, unsigned drainSeconds);

 private:
  void threadStarted();
  void threadEnded();
  void logRefusal(const ServerContext& context, const std::string& text);

  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable ended_;
  unsigned threads_ = 0;
  // Refusals are logged at most once a second, with the count since.
  std::chrono::steady_clock::time_point lastRefusalLog_{};
  unsigned refusalsNotLogged_ = 0;
};
