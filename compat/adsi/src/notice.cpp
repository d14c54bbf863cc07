#include "notice.h"

#include <atomic>
#include <cstdio>

#include "adsi_compat.h"

namespace {

std::atomic<AdsCompatNoticeSink> sink{nullptr};

}  // namespace

namespace adsi {

void notice(const std::string& line) {
  if (AdsCompatNoticeSink to = sink.load()) return to(line.c_str());
  std::fprintf(stderr, "quarlix ADSI: %s\n", line.c_str());
}

}  // namespace adsi

ADSI_COMPAT_API void AdsCompatSetNoticeSink(AdsCompatNoticeSink to) { sink.store(to); }
