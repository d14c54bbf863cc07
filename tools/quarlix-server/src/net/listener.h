// The listening socket, the accept loop and the connection threads. The
// listener owns what its threads use: the admission (AdmissionTicket refers
// to it) and the threads themselves, joined before it goes. On a stop it
// refuses new connections and waits for the calls in flight; past the drain
// time it gives up on the connections still open (their channels' waits end
// at once: the abandon descriptor becomes readable) and waits for their
// threads to end.
#pragma once

#include "net/admission.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One accepted connection, as its thread gets it.
struct Connection {
  int fd = -1;                        // owned by whoever serves the connection
  std::uint32_t number = 0;           // counted from 1 since start
  std::string peer;                   // "10.0.0.7:50312"
  std::string address;                // "10.0.0.7": what per-address limits count
  AdmissionTicket* ticket = nullptr;  // its standing: admitted, on probation or refused
  // Its LOGIN7 must have come by `firstDeadline`, its login be over by
  // `loginDeadline`, both from connect and never extended.
  Admission::Clock::time_point firstDeadline, loginDeadline;
};

class Listener {
 public:
  Listener(const AdmissionLimits& limits, std::function<void(const std::string&)> logLine);
  ~Listener();  // closes the socket, gives up on the connections and joins their threads
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // False with a reason when the address cannot be bound. `loopbackOnly`
  // refuses any address outside 127.0.0.0/8 and ::1.
  bool open(const std::string& host, unsigned port, bool loopbackOnly, std::string& error);
  // "127.0.0.1:41234", the address really bound.
  std::string boundAddress() const;
  // Readable once the listener gives up on its connections.
  int abandonFd() const { return abandon_[0]; }

  // Accepts until `stopFd` becomes readable, each connection served by
  // `serve` on a thread of its own; then waits for them (at most `drain`),
  // gives up on those left, and waits `grace` more for their threads. False
  // when some were still running then. What `serve` refers to must outlive
  // the listener, which joins the threads when it goes.
  using Serve = std::function<void(const Connection&)>;
  bool run(int stopFd, std::chrono::milliseconds loginTimeout, Serve serve, std::chrono::milliseconds drain,
           std::chrono::milliseconds grace);

  unsigned running() const;

 private:
  struct Worker {
    std::thread thread;
    bool done = false;
  };
  void start(Connection connection, Admission::Verdict verdict);
  void joinFinished();
  bool waitForWorkers(std::chrono::milliseconds limit);
  void abandonAll();

  Admission admission_;
  Serve serve_;
  int fd_ = -1;
  int abandon_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::list<Worker> workers_;
  unsigned running_ = 0;
};
