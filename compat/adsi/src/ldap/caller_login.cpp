#include "ldap/caller_login.h"

#include <optional>

#include "adsi_compat.h"

namespace adsi {
namespace {

// One caller per thread: a host runs one call at a time on a thread.
thread_local std::optional<CallerLogin> t_caller;

}  // namespace

const CallerLogin* currentCaller() { return t_caller ? &*t_caller : nullptr; }

}  // namespace adsi

void AdsCompatBindAsCaller(void* gssCredential, const char* principal) {
  adsi::t_caller = adsi::CallerLogin{gssCredential, principal ? principal : ""};
}

void AdsCompatClearCaller(void) { adsi::t_caller.reset(); }
