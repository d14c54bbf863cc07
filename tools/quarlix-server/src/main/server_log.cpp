#include "main/server_context.h"

#include <adsi_compat.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<ServerLog*> directoryLog{nullptr};
thread_local std::string threadLabel;

// The directory's lines for the administrator, tagged with the connection
// whose call met them (the sink runs on that call's thread).
void directoryLine(const char* text, void*) {
  ServerLog* log = directoryLog.load();
  if (!log) return;
  std::string line = text;
  static const std::string prefix = "quarlix ADSI: ";
  if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
  const std::string who = threadLabel.empty() ? "no connection" : threadLabel;
  log->line(who + ": directory: " + line);
}

}  // namespace

void ServerLog::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "quarlix-server: %s\n", text.c_str());
  std::fflush(stderr);
}

void ServerLog::takeDirectoryNotices() {
  directoryLog.store(this);
  AdsCompatSetLineSink(&directoryLine, nullptr);
}

ServerLog::~ServerLog() {
  ServerLog* self = this;
  if (directoryLog.compare_exchange_strong(self, nullptr)) AdsCompatSetLineSink(nullptr, nullptr);
}

void ServerLog::labelThread(const std::string& connection) { threadLabel = connection; }
