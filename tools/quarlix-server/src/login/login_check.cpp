#include "login/login_check.h"

#include "adsi_compat.h"
#include "login/integrated_logins.h"
#include "login/login_throttle.h"

#include <poll.h>

#include <functional>
#include <stdexcept>

namespace {

// Sleeps until `until`; false when the server stops first.
bool waitUnlessStopped(int stopFd, tds::Clock::time_point until) {
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - tds::Clock::now()).count();
    if (left <= 0) return true;
    pollfd fd = {stopFd, POLLIN, 0};
    int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 60000)));
    if (ready > 0 && (fd.revents & POLLIN)) return false;
  }
}

// The attempt of `name` from the attempt's address, after its turn in the
// throttle: `check` gives the reason it fails, or "" when it succeeds. The
// reason is logged.
bool checkInTurn(const ServerContext& context, const LoginAttempt& attempt, const std::string& name,
                 const std::function<std::string()>& check) {
  auto fail = [&](const std::string& reason) {
    context.log->line(attempt.connection + ": login failed for '" + name + "': " + reason);
    return false;
  };
  LoginThrottle::Turn turn;
  if (context.throttle) {
    turn = context.throttle->turn(attempt.address, name, attempt.deadline);
    if (turn.at > attempt.deadline)
      return fail(
          "not checked: the delay after earlier failed logins of this address or name outlasts the login time-out");
    if (!waitUnlessStopped(context.stopFd, turn.at)) throw tds::ChannelClosed("the server is stopping");
  }
  const std::string reason = check();
  if (!reason.empty()) {
    if (context.throttle) context.throttle->failed(attempt.address, name, turn);
    return fail(reason);
  }
  if (context.throttle) context.throttle->succeeded(attempt.address, name);
  return true;
}

// The directory's answer, read as the server's own identity.
bool isMemberInDirectory(const std::string& principal, const std::string& groupDn) {
  char reason[512];
  HRESULT hr = AdsCompatIsMemberOfGroup(principal.c_str(), groupDn.c_str(), reason, sizeof reason);
  if (FAILED(hr)) throw std::runtime_error(reason);
  return hr == S_OK;
}

}  // namespace

std::optional<std::string> checkLogin(const ServerContext& context, const LoginAttempt& attempt,
                                      const tds::Login7& login) {
  std::optional<std::string> user;
  bool passed = checkInTurn(context, attempt, login.userName, [&] {
    const std::shared_ptr<const Logins> logins = context.logins->current();
    user = logins->verify(login.userName, login.password);
    if (user) return std::string();
    return std::string(logins->has(login.userName) ? "the password does not match" : "no such login");
  });
  return passed ? user : std::nullopt;
}

std::optional<std::string> checkIntegratedLogin(const ServerContext& context, const LoginAttempt& attempt,
                                                const std::string& principal, const std::string& failure) {
  std::string admitted;
  bool passed = checkInTurn(context, attempt, principal, [&] {
    if (!failure.empty()) return failure;
    LoginDecision decision = decideLogin(context.integrated->allowed, principal, isMemberInDirectory);
    admitted = decision.why;
    return decision.allowed ? std::string() : decision.why;
  });
  return passed ? std::optional<std::string>(admitted) : std::nullopt;
}
