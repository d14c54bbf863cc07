#include "server_context.h"

#include <cstdio>

void ServerLog::line(const std::string &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "quarlix-server: %s\n", text.c_str());
  std::fflush(stderr);
}
