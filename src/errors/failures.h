// The three kinds of failure that travel through the procedure:
//   1. a failure code: a directory or COM result that counts as failure;
//   2. an error text: a message, raised as a copy;
//   3. anything else: out of memory, an index outside a list, a string-layer
//      failure (StringLayerFailure, deliberately of its own type so that it is
//      never mistaken for a failure code and described as one).
#pragma once

#include <stdexcept>
#include <string>

#include "platform/platform.h"

struct FailureCode {
  HRESULT code;
};

struct ErrorText {
  std::string text;
};

struct StringLayerFailure {
  HRESULT code;  // E_OUTOFMEMORY or E_INVALIDARG
};

struct IndexFault : std::out_of_range {
  IndexFault() : std::out_of_range("index outside the list") {}
};

// A directory or COM call result: anything but 0 is raised as a failure code.
inline void raiseOnFailure(HRESULT result) {
  if (result != S_OK) throw FailureCode{result};
}
