#include "com/large_integer.h"

namespace adsi {

HRESULT LargeInteger::QueryInterface(REFIID riid, void** ppv) {
  return answerOwnQuery<IADsLargeInteger>(this, "IADsLargeInteger", IID_IADsLargeInteger, riid, ppv);
}

HRESULT LargeInteger::get_HighPart(LONG* retval) {
  if (!retval) return E_POINTER;
  *retval = static_cast<LONG>(static_cast<uint32_t>(value_ >> 32));
  return S_OK;
}

HRESULT LargeInteger::put_HighPart(LONG high) {
  value_ = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | (value_ & 0xFFFFFFFFu);
  return S_OK;
}

HRESULT LargeInteger::get_LowPart(LONG* retval) {
  if (!retval) return E_POINTER;
  *retval = static_cast<LONG>(static_cast<uint32_t>(value_));
  return S_OK;
}

HRESULT LargeInteger::put_LowPart(LONG low) {
  value_ = (value_ & 0xFFFFFFFF00000000u) | static_cast<uint32_t>(low);
  return S_OK;
}

}  // namespace adsi
