// Who gets a connection thread, and when a login may go on. Connections that
// have not logged in yet ("pending") have a limit of their own, below the
// limit of all connections. Those of them that have not even sent their
// LOGIN7 yet ("unproven": idle sockets look like this) have a smaller limit
// per client address, which holds once half the pending places are taken, so
// that idle sockets from one place cannot take every place.
//
// A connection over its address's share, or coming while every place for
// logins is taken by logins under way, is not refused at once: it is on
// probation, with a few seconds to send its LOGIN7. One that does (a
// connection pool opening many connections at once) waits its turn for a
// place while the server has room; one that does not (an idle socket) is
// closed when its time is up, and is logged as refused. A client refused for
// want of room is told why in TDS by a short refusal of its own, while few
// refusals are in flight; past that it is closed at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

struct AdmissionLimits {
  unsigned connections = 64;       // all at once
  unsigned pending = 32;           // not logged in yet
  unsigned pendingPerAddress = 8;  // not sent their LOGIN7 yet, from one address
  unsigned refusals = 16;          // refused clients being told why
  unsigned probation = 64;         // over their address's share, given time to send their LOGIN7
};

class Admission {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Verdict { Admit, Probation, Full, PendingFull, AddressFull };

  // `logLine` takes the lines about refusals (at most one a second).
  Admission(const AdmissionLimits& limits, std::function<void(const std::string&)> logLine);

  // A new connection: Admit counts it pending and unproven from `address`.
  Verdict enter(const std::string& address);
  // An admitted connection sent its LOGIN7.
  void proved(const std::string& address);
  // A connection on probation sent its LOGIN7: Admit (counted pending) when
  // its address's unproven connections leave it room and a place frees by
  // `deadline`; else the refusal. Never waits past a stop.
  Verdict claim(const std::string& address, Clock::time_point deadline);
  void endProbation();
  void loggedIn();
  // An admitted connection ended, logged in or not, proved or not.
  void leave(const std::string& address, bool proved, bool loggedIn);

  // A place to tell a refused client why; false when too many are being told.
  bool beginRefusal();
  void endRefusal();

  // Claims waiting for a place give up.
  void stop();

  const AdmissionLimits& limits() const { return limits_; }
  // The client's words for a refusal.
  std::string refusalText(Verdict verdict, const std::string& address) const;
  // "refused connection 7 from 10.0.0.7:50312: ..." for the log, counted when they come faster than one a second.
  void logRefusal(const std::string& text);

 private:
  bool overShare(const std::string& address) const;  // with mutex_ held
  void forgetUnproven(const std::string& address);   // with mutex_ held

  AdmissionLimits limits_;
  std::function<void(const std::string&)> logLine_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  unsigned active_ = 0;
  unsigned pending_ = 0;
  unsigned refusing_ = 0;
  unsigned onProbation_ = 0;
  unsigned provedPending_ = 0;  // pending that sent their LOGIN7: logins under way
  bool stopped_ = false;
  std::map<std::string, unsigned> unprovenByAddress_;
  Clock::time_point lastRefusalLog_{};
  unsigned refusalsNotLogged_ = 0;
};

// One connection's standing, given back when it ends: admitted, on
// probation, or being refused.
class AdmissionTicket {
 public:
  AdmissionTicket(Admission& admission, std::string address, Admission::Verdict verdict);
  ~AdmissionTicket();
  AdmissionTicket(const AdmissionTicket&) = delete;
  AdmissionTicket& operator=(const AdmissionTicket&) = delete;

  bool onProbation() const { return state_ == State::Probation; }
  // The client's LOGIN7 arrived. True when the login may go on; false when
  // the client is to be told refusal() (and closed).
  bool loginArrived(Admission::Clock::time_point deadline);
  void loggedIn();
  std::string refusal() const { return admission_.refusalText(verdict_, address_); }

 private:
  enum class State { Unproven, Proved, LoggedIn, Probation, Refusing, Refused };
  Admission& admission_;
  std::string address_;
  Admission::Verdict verdict_;
  State state_;
};
