// Owner of one VARIANT: initialised on construction, cleared on every exit.
#ifndef QUARLIX_PLATFORM_UNIQUE_VARIANT_H
#define QUARLIX_PLATFORM_UNIQUE_VARIANT_H

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

#endif
