#include "server_context.h"

#include <adsi_compat.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<ServerLog *> directoryLog{nullptr};
thread_local std::string threadLabel;

void __cdecl directoryNotice(const char *text) {
  ServerLog *log = directoryLog.load();
  const std::string who = threadLabel.empty() ? "no connection" : threadLabel;
  if (log) log->line(who + ": directory: " + text);
}

}  // namespace

void ServerLog::line(const std::string &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "quarlix-server: %s\n", text.c_str());
  std::fflush(stderr);
}

void ServerLog::takeDirectoryNotices() {
  directoryLog.store(this);
  AdsCompatSetNoticeSink(&directoryNotice);
}

ServerLog::~ServerLog() {
  ServerLog *self = this;
  if (directoryLog.compare_exchange_strong(self, nullptr)) AdsCompatSetNoticeSink(nullptr);
}

void ServerLog::labelThread(const std::string &connection) { threadLabel = connection; }
