// Access to the data of one SAFEARRAY, given back on every exit.
#pragma once

#include "platform/platform.h"

class SafeArrayAccess {
 public:
  SafeArrayAccess() = default;
  ~SafeArrayAccess() {
    if (array_) SafeArrayUnaccessData(array_);
  }
  SafeArrayAccess(const SafeArrayAccess&) = delete;
  SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;

  HRESULT access(SAFEARRAY* array) {
    void* data = nullptr;
    HRESULT result = SafeArrayAccessData(array, &data);
    if (result == S_OK) {
      array_ = array;
      data_ = data;
    }
    return result;
  }
  void* data() const { return data_; }

 private:
  SAFEARRAY* array_ = nullptr;
  void* data_ = nullptr;
};
