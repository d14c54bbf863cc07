// Owner of one BSTR (length-prefixed UTF-16 string).
#pragma once

#include <cstddef>

#include "errors/failures.h"
#include "platform/platform.h"

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR adopted) : text_(adopted) {}
  ~UniqueBstr() { reset(); }

  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  UniqueBstr(UniqueBstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
      reset();
      text_ = other.text_;
      other.text_ = nullptr;
    }
    return *this;
  }

  // A new BSTR holding `length` code units of `text` (null text: that many
  // zero units). Raises StringLayerFailure when it cannot be allocated.
  static UniqueBstr copyOf(const WCHAR* text, size_t length) {
    if (length > 0x3FFFFFFF) throw StringLayerFailure{E_INVALIDARG};
    BSTR copy = SysAllocStringLen(text, static_cast<UINT>(length));
    if (!copy) throw StringLayerFailure{E_OUTOFMEMORY};
    return UniqueBstr(copy);
  }
  static UniqueBstr copyOf(BSTR text) { return copyOf(text, SysStringLen(text)); }
  static UniqueBstr empty() { return copyOf(nullptr, 0); }

  void reset() {
    BSTR old = text_;
    text_ = nullptr;
    if (old) SysFreeString(old);
  }
  BSTR get() const { return text_; }
  // Code units, not counting the terminator; 0 for none.
  size_t length() const { return SysStringLen(text_); }
  explicit operator bool() const { return text_ != nullptr; }
  BSTR* put() {
    reset();
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};
