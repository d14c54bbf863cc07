// Reads the logins file again each time `reloadFd` becomes readable (the
// SIGHUP handler writes a byte to it), on a thread of its own that lives as
// long as this object. A file that does not read, or holds no login, leaves
// the logins in force as they were; the log says which happened and why.
#pragma once

#include "login/login_book.h"

#include <functional>
#include <string>
#include <thread>

class LoginReloader {
 public:
  using LogLine = std::function<void(const std::string&)>;

  LoginReloader(LoginBook& book, std::string path, int reloadFd, LogLine log);
  ~LoginReloader();  // stops the thread and joins it
  LoginReloader(const LoginReloader&) = delete;
  LoginReloader& operator=(const LoginReloader&) = delete;

  // One reload, as a signal causes it (also for tests).
  void reloadNow();

 private:
  void run();

  LoginBook& book_;
  std::string path_;
  int reloadFd_;
  LogLine log_;
  int quit_[2] = {-1, -1};
  std::thread thread_;
};

// The reason a set of logins read from `path` cannot serve: none to log in with.
std::string noLoginsReason(const std::string& path);
