#include "login/login_check.h"

#include "login/login_throttle.h"

#include <poll.h>

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

}  // namespace

std::optional<std::string> checkLogin(const ServerContext& context, const LoginAttempt& attempt,
                                      const tds::Login7& login) {
  auto fail = [&](const std::string& reason) {
    context.log->line(attempt.connection + ": login failed for '" + login.userName + "': " + reason);
    return std::nullopt;
  };
  // An integrated login (login.sspi: a Kerberos or NTLM token) would be
  // checked here, answered by SSPI tokens of its own before the LOGINACK.
  if (login.integratedSecurity) return fail("integrated (Windows) authentication is not offered");
  LoginThrottle::Turn turn;
  if (context.throttle) {
    turn = context.throttle->turn(attempt.address, login.userName, attempt.deadline);
    if (turn.at > attempt.deadline)
      return fail(
          "not checked: the delay after earlier failed logins of this address or name outlasts the login time-out");
    if (!waitUnlessStopped(context.stopFd, turn.at)) throw tds::ChannelClosed("the server is stopping");
  }
  const std::shared_ptr<const Logins> logins = context.logins->current();
  std::optional<std::string> user = logins->verify(login.userName, login.password);
  if (!user) {
    if (context.throttle) context.throttle->failed(attempt.address, login.userName, turn);
    return fail(logins->has(login.userName) ? "the password does not match" : "no such login");
  }
  if (context.throttle) context.throttle->succeeded(attempt.address, login.userName);
  return user;
}
