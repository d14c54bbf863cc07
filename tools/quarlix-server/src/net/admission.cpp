#include "net/admission.h"

Admission::Verdict Admission::enter(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_ >= limits_.connections) return Verdict::Full;
  if (pending_ >= limits_.pending) return Verdict::PendingFull;
  unsigned& fromAddress = pendingByAddress_[address];
  // A pool opening many connections at once from one place goes in while
  // half the places are free; past that each address keeps to its share.
  if (fromAddress >= limits_.pendingPerAddress && pending_ >= limits_.pending / 2) return Verdict::AddressFull;
  ++fromAddress;
  ++pending_;
  ++active_;
  return Verdict::Admit;
}

void Admission::loggedIn(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  --pending_;
  auto found = pendingByAddress_.find(address);
  if (found != pendingByAddress_.end() && --found->second == 0) pendingByAddress_.erase(found);
}

void Admission::leave(const std::string& address, bool loggedIn) {
  std::lock_guard<std::mutex> lock(mutex_);
  --active_;
  if (loggedIn) return;
  --pending_;
  auto found = pendingByAddress_.find(address);
  if (found != pendingByAddress_.end() && --found->second == 0) pendingByAddress_.erase(found);
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

unsigned Admission::active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

std::string Admission::refusalText(Verdict verdict, const std::string& address) const {
  switch (verdict) {
    case Verdict::Full:
      return "The server has its " + std::to_string(limits_.connections) + " connections open; try again later.";
    case Verdict::PendingFull:
      return "The server has " + std::to_string(limits_.pending) + " connections logging in at once; try again later.";
    case Verdict::AddressFull:
      return "The server has " + std::to_string(limits_.pendingPerAddress) + " connections from " + address +
             " logging in at once; try again later.";
    case Verdict::Admit: break;
  }
  return std::string();
}
