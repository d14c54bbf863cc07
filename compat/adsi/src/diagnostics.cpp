#include "diagnostics.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "adsi_compat.h"

namespace {

std::atomic<AdsCompatLineSink> g_sink{nullptr};
std::atomic<void*> g_context{nullptr};

void writeLine(const char* prefix, const std::string& text) {
  std::string line = prefix + text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  if (AdsCompatLineSink sink = g_sink.load()) {
    sink(line.c_str(), g_context.load());
    return;
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);  // one write: lines of threads do not mix
  std::fflush(stderr);
}

}  // namespace

EXTERN_C void AdsCompatSetLineSink(AdsCompatLineSink sink, void* context) {
  g_context.store(context);
  g_sink.store(sink);
}

namespace adsi {

void reportLine(const std::string& text) { writeLine("quarlix ADSI: ", text); }

bool tracing() {
  const char* value = std::getenv("QUARLIX_ADSI_TRACE");
  return value && *value && std::string(value) != "0";
}

void traceLine(const std::string& text) {
  if (tracing()) writeLine("quarlix ADSI trace: ", text);
}

}  // namespace adsi
