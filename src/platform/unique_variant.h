// Owner of one VARIANT: initialised on construction, cleared on every exit.
#pragma once

#include "platform/platform.h"

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  void clear() { VariantClear(&value_); }
  VARIANT& get() { return value_; }
  const VARIANT& get() const { return value_; }
  // Out parameter of a call that fills the VARIANT.
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};
