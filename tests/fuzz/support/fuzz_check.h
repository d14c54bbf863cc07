// A broken invariant ends the process with a message, so that libFuzzer
// keeps the input as a crash and a replay fails.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void fuzzFailure(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_REQUIRE(condition, what)                          \
  do {                                                         \
    if (!(condition)) fuzzFailure(__FILE__, __LINE__, (what)); \
  } while (0)
