// The caller a host makes a call for (AdsCompatBindAsCaller): while it is
// set on a thread, every directory bind of that thread is made as the caller
// (identity rule 0, bind_identity.h), with the Kerberos credential the
// caller's login yielded.
#pragma once

#include <string>

namespace adsi {

struct CallerLogin {
  void* credential = nullptr;  // a gss_cred_id_t, borrowed from the host
  std::string principal;       // "user@REALM"
};

// The caller set on this thread, or null.
const CallerLogin* currentCaller();

}  // namespace adsi
