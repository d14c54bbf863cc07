#pragma once
// glibc's malloc tuning for a server whose connections come and go. Under a
// sanitizer malloc is the sanitizer's, and glibc's malloc_trim then walks
// arenas nobody set up (it crashed under AddressSanitizer): both calls do
// nothing there.

#include <algorithm>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARLIX_SANITIZED_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARLIX_SANITIZED_MALLOC 1
#endif
#endif

// Few arenas: with one per thread, the answers of many connections at once
// stay in the process after they are freed.
inline void limitMallocArenas() {
#if defined(__GLIBC__) && !defined(QUARLIX_SANITIZED_MALLOC)
  mallopt(M_ARENA_MAX, static_cast<int>(std::max(2u, std::thread::hardware_concurrency())));
#endif
}

// A connection's answer may have taken megabytes in its thread's arena; given
// back, what stalled clients held does not stay.
inline void giveBackFreedMemory() {
#if defined(__GLIBC__) && !defined(QUARLIX_SANITIZED_MALLOC)
  malloc_trim(0);
#endif
}
