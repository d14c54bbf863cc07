// Owners for the values the tests allocate, so that a failing assertion
// does not leak into the live counters of the next test.
#pragma once

#include <windows.h>

#include <string>

struct BstrHolder {
  explicit BstrHolder(BSTR value = nullptr) : p(value) {}
  ~BstrHolder() { SysFreeString(p); }
  BstrHolder(const BstrHolder&) = delete;
  BstrHolder& operator=(const BstrHolder&) = delete;
  std::u16string text() const { return std::u16string(p, SysStringLen(p)); }
  BSTR p;
};

struct VariantHolder {
  VariantHolder() { VariantInit(&v); }
  ~VariantHolder() { VariantClear(&v); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  VARIANT v;
};
