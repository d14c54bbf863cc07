// Fault injection: tests arm a named operation to fail with a given HRESULT
// (or, for the odd-value operations, to hand out an unusual value).
#pragma once

#include <optional>

#include "windows.h"

namespace adsi::faults {

// Called by every faultable operation, named "Interface::Method" (the name
// may come in up to three pieces, joined only when faults are armed).
// Returns the HRESULT to fail with when the fault fires.
std::optional<HRESULT> check(const char* name, const char* more = nullptr, const char* rest = nullptr);
// Whether any fault is armed: a name that takes work to make is made only then.
bool armed();

void set(const char* name, HRESULT result, long skipCalls);
void clear();

}  // namespace adsi::faults
