#include "login/login_reload.h"

#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

std::string noLoginsReason(const std::string& path) {
  return "the logins file " + path + " holds no login: nobody could log in (quarlix-server --add-login NAME --logins " +
         path + " adds one)";
}

LoginReloader::LoginReloader(LoginBook& book, std::string path, int reloadFd, LogLine log)
    : book_(book), path_(std::move(path)), reloadFd_(reloadFd), log_(std::move(log)) {
  if (::pipe2(quit_, O_CLOEXEC) != 0) throw std::runtime_error("cannot create the reload thread's pipe");
  thread_ = std::thread([this] { run(); });
}

LoginReloader::~LoginReloader() {
  const char byte = 1;
  ssize_t ignored = ::write(quit_[1], &byte, 1);
  (void)ignored;
  thread_.join();
  ::close(quit_[0]);
  ::close(quit_[1]);
}

void LoginReloader::reloadNow() {
  std::string error;
  std::optional<Logins> logins = Logins::load(path_, error);
  const size_t inForce = book_.current()->size();
  const std::string kept = "; the " + std::to_string(inForce) + " logins read before stay in force";
  if (!logins) {
    log_("SIGHUP: " + error + kept);
    return;
  }
  if (logins->size() == 0) {
    log_("SIGHUP: " + noLoginsReason(path_) + kept);
    return;
  }
  const size_t count = logins->size();
  book_.replace(std::move(*logins));
  log_("SIGHUP: read " + std::to_string(count) + " logins from " + path_ + " (connections already logged in stay)");
}

void LoginReloader::run() {
  pollfd fds[2] = {{quit_[0], POLLIN, 0}, {reloadFd_, POLLIN, 0}};
  while (true) {
    if (::poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[0].revents || (fds[1].revents & (POLLERR | POLLNVAL))) return;
    if (fds[1].revents & POLLIN) {
      // Signals that came together are one reload.
      char bytes[64];
      while (::read(reloadFd_, bytes, sizeof bytes) > 0) {
      }
      reloadNow();
    }
  }
}
