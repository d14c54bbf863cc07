// While it lives, the directory stand-in makes every bind of this thread's
// calls as the logged-in principal, with the credential its login delegated
// (--delegate); cleared on every exit, an error's or an attention's too.
// Without a credential it does nothing: calls bind as the server.
#pragma once

#include "adsi_compat.h"
#include "login/gss_holders.h"

#include <string>

class CallerScope {
 public:
  // `credential` and `principal` outlive the scope.
  CallerScope(gss_cred_id_t credential, const std::string& principal) : active_(credential != GSS_C_NO_CREDENTIAL) {
    if (active_) AdsCompatBindAsCaller(credential, principal.c_str());
  }
  ~CallerScope() {
    if (active_) AdsCompatClearCaller();
  }
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  bool active_;
};
