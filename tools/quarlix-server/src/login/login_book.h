// The logins a server checks against, replaced whole when the logins file is
// read again (SIGHUP). A login being checked keeps the set it started with;
// connections already logged in are not affected by a replacement.
#pragma once

#include "login/logins.h"

#include <memory>
#include <mutex>

class LoginBook {
 public:
  explicit LoginBook(Logins logins) : current_(std::make_shared<const Logins>(std::move(logins))) {}

  std::shared_ptr<const Logins> current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
  }

  void replace(Logins logins) {
    auto next = std::make_shared<const Logins>(std::move(logins));
    std::lock_guard<std::mutex> lock(mutex_);
    current_.swap(next);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Logins> current_;
};
