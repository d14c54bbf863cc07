// IADsLargeInteger: a 64-bit value as two 32-bit halves.
#pragma once

#include <cstdint>

#include "com/com_object.h"
#include "iads.h"

namespace adsi {

class LargeInteger final : public ComObject<IADsLargeInteger> {
 public:
  static LargeInteger* create(int64_t value) { return new LargeInteger(value); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE get_HighPart(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_HighPart(LONG high) override;
  HRESULT STDMETHODCALLTYPE get_LowPart(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_LowPart(LONG low) override;

 private:
  explicit LargeInteger(int64_t value) : value_(value) {}
  uint64_t value_;
};

}  // namespace adsi
