// COM for the calling thread, for the length of one call.
#pragma once

#include "platform/platform.h"

class ComInitScope {
 public:
  // The call goes on whatever the initialisation returns.
  ComInitScope() : result_(CoInitialize(nullptr)) {}
  // Uninitialises only what this scope initialised: when the thread already
  // belonged to another apartment (RPC_E_CHANGED_MODE), the host's own
  // initialisation is left alone.
  virtual ~ComInitScope() {
    if (result_ == S_OK || result_ == S_FALSE) CoUninitialize();
  }
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;

 private:
  HRESULT result_;
};
