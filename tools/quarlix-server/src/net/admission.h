// Who gets a connection thread. Connections that have not logged in yet
// ("pending") have a limit of their own, below the limit of all connections,
// and a smaller one per client address, which holds once half the pending
// places are taken: idle sockets from one place cannot take every place and
// keep the clients that log in out, while a pool opening many connections
// at once from one place is let in when the server is not under pressure. A refused client is
// told why in TDS by a short refusal of its own, while few refusals are in
// flight; past that it is closed at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct AdmissionLimits {
  unsigned connections = 64;       // all at once
  unsigned pending = 32;           // not logged in yet
  unsigned pendingPerAddress = 8;  // not logged in yet, from one address
  unsigned refusals = 16;          // refused clients being told why
};

class Admission {
 public:
  enum class Verdict { Admit, Full, PendingFull, AddressFull };

  explicit Admission(const AdmissionLimits& limits) : limits_(limits) {}

  // Admit counts the connection as pending from `address`.
  Verdict enter(const std::string& address);
  // The pending connection has logged in.
  void loggedIn(const std::string& address);
  // The connection ended, logged in or not.
  void leave(const std::string& address, bool loggedIn);

  // A place to tell a refused client why; false when too many are being told.
  bool beginRefusal();
  void endRefusal();

  unsigned active() const;
  const AdmissionLimits& limits() const { return limits_; }

  // The client's words for a refusal.
  std::string refusalText(Verdict verdict, const std::string& address) const;

 private:
  AdmissionLimits limits_;
  mutable std::mutex mutex_;
  unsigned active_ = 0;
  unsigned pending_ = 0;
  unsigned refusing_ = 0;
  std::map<std::string, unsigned> pendingByAddress_;
};

// One admitted connection's place, given back when it ends.
class AdmissionTicket {
 public:
  AdmissionTicket(Admission& admission, std::string address) : admission_(admission), address_(std::move(address)) {}
  ~AdmissionTicket() { admission_.leave(address_, loggedIn_); }
  AdmissionTicket(const AdmissionTicket&) = delete;
  AdmissionTicket& operator=(const AdmissionTicket&) = delete;

  void loggedIn() {
    if (loggedIn_) return;
    loggedIn_ = true;
    admission_.loggedIn(address_);
  }

 private:
  Admission& admission_;
  std::string address_;
  bool loggedIn_ = false;
};
