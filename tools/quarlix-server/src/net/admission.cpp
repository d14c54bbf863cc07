#include "net/admission.h"

namespace {

// A claim waits this long at most for its address's unproven connections to
// send their LOGIN7: what a pool's connections do at once, and idle sockets never.
constexpr std::chrono::seconds kProofWait(2);

}  // namespace

Admission::Admission(const AdmissionLimits& limits, std::function<void(const std::string&)> logLine)
    : limits_(limits), logLine_(std::move(logLine)) {}

bool Admission::overShare(const std::string& address) const {
  auto found = unprovenByAddress_.find(address);
  const unsigned unproven = found == unprovenByAddress_.end() ? 0 : found->second;
  return unproven >= limits_.pendingPerAddress && pending_ >= limits_.pending / 2;
}

void Admission::forgetUnproven(const std::string& address) {
  auto found = unprovenByAddress_.find(address);
  if (found != unprovenByAddress_.end() && --found->second == 0) unprovenByAddress_.erase(found);
}

Admission::Verdict Admission::enter(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_ >= limits_.connections) return Verdict::Full;
  // Every place for logins taken: a newcomer waits its turn only while some
  // of them are logins under way (they end soon), not idle sockets.
  const bool full = pending_ >= limits_.pending;
  if (full && provedPending_ == 0) return Verdict::PendingFull;
  if (full || overShare(address)) {
    if (onProbation_ >= limits_.probation) return full ? Verdict::PendingFull : Verdict::AddressFull;
    ++onProbation_;
    return Verdict::Probation;
  }
  ++unprovenByAddress_[address];
  ++pending_;
  ++active_;
  return Verdict::Admit;
}

void Admission::proved(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  forgetUnproven(address);
  ++provedPending_;
  changed_.notify_all();
}

Admission::Verdict Admission::claim(const std::string& address, Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  --onProbation_;
  // The address's own idle sockets keep it out; its own logins in progress do not.
  if (!changed_.wait_until(lock, std::min(deadline, Clock::now() + kProofWait),
                           [&] { return stopped_ || !overShare(address); }) ||
      stopped_)
    return Verdict::AddressFull;
  // Then its turn: a place frees as the logins under way end (idle sockets
  // holding the places free none soon: then it is refused at once).
  if (active_ >= limits_.connections) return Verdict::Full;
  changed_.wait_until(lock, deadline, [&] { return stopped_ || pending_ < limits_.pending || provedPending_ == 0; });
  if (stopped_ || pending_ >= limits_.pending) return Verdict::PendingFull;
  if (active_ >= limits_.connections) return Verdict::Full;
  ++pending_;
  ++provedPending_;
  ++active_;
  return Verdict::Admit;
}

void Admission::endProbation() {
  std::lock_guard<std::mutex> lock(mutex_);
  --onProbation_;
}

void Admission::loggedIn() {
  std::lock_guard<std::mutex> lock(mutex_);
  --pending_;
  --provedPending_;
  changed_.notify_all();
}

void Admission::leave(const std::string& address, bool proved, bool loggedIn) {
  std::lock_guard<std::mutex> lock(mutex_);
  --active_;
  if (!loggedIn) --pending_;
  if (proved && !loggedIn) --provedPending_;
  if (!proved) forgetUnproven(address);
  changed_.notify_all();
}

bool Admission::beginRefusal() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (refusing_ >= limits_.refusals) return false;
  ++refusing_;
  return true;
}

void Admission::endRefusal() {
  std::lock_guard<std::mutex> lock(mutex_);
  --refusing_;
}

void Admission::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

std::string Admission::refusalText(Verdict verdict, const std::string& address) const {
  switch (verdict) {
    case Verdict::Full:
      return "The server has its " + std::to_string(limits_.connections) + " connections open; try again later.";
    case Verdict::PendingFull:
      return "The server has " + std::to_string(limits_.pending) + " connections logging in at once; try again later.";
    case Verdict::AddressFull:
    case Verdict::Probation:
      return "The server has " + std::to_string(limits_.pendingPerAddress) + " connections from " + address +
             " logging in at once; try again later.";
    case Verdict::Admit: break;
  }
  return std::string();
}

void Admission::logRefusal(const std::string& text) {
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    if (now - lastRefusalLog_ < std::chrono::seconds(1)) {
      ++refusalsNotLogged_;
      return;
    }
    line = text + (refusalsNotLogged_
                       ? " (and " + std::to_string(refusalsNotLogged_) + " refused since the last such line)"
                       : std::string());
    lastRefusalLog_ = now;
    refusalsNotLogged_ = 0;
  }
  logLine_(line);
}

AdmissionTicket::AdmissionTicket(Admission& admission, std::string address, Admission::Verdict verdict)
    : admission_(admission), address_(std::move(address)), verdict_(verdict) {
  state_ = verdict == Admission::Verdict::Admit       ? State::Unproven
           : verdict == Admission::Verdict::Probation ? State::Probation
                                                      : State::Refusing;
}

AdmissionTicket::~AdmissionTicket() {
  switch (state_) {
    case State::Unproven: admission_.leave(address_, false, false); break;
    case State::Proved: admission_.leave(address_, true, false); break;
    case State::LoggedIn: admission_.leave(address_, true, true); break;
    case State::Probation: admission_.endProbation(); break;
    case State::Refusing: admission_.endRefusal(); break;
    case State::Refused: break;
  }
}

bool AdmissionTicket::loginArrived(Admission::Clock::time_point deadline) {
  switch (state_) {
    case State::Unproven:
      admission_.proved(address_);
      state_ = State::Proved;
      return true;
    case State::Probation:
      verdict_ = admission_.claim(address_, deadline);
      state_ = verdict_ == Admission::Verdict::Admit ? State::Proved : State::Refused;
      return state_ == State::Proved;
    default: return false;
  }
}

void AdmissionTicket::loggedIn() {
  if (state_ != State::Proved) return;
  state_ = State::LoggedIn;
  admission_.loggedIn();
}
