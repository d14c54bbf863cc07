// The guarded operation: a body run under three handlers, tried in order, that
// turn every failure into the target error text and make the operation
// return false. No handler raises again.
//   failure code  -> its description is appended;
//   error text    -> it replaces the target;
//   anything else -> "Last error: %d" (the thread's last error) or
//                    "Unexpected error." replaces the target.
#pragma once

#include <string>

#include "errors/failures.h"

void handleFailureCode(std::string& target, HRESULT code) noexcept;
void handleErrorText(std::string& target, const ErrorText& error) noexcept;
void handleUnexpected(std::string& target) noexcept;

template <class Body>
bool guarded(std::string& target, Body&& body) noexcept {
  try {
    return body();
  } catch (const FailureCode& failure) {
    handleFailureCode(target, failure.code);
  } catch (const ErrorText& error) {
    handleErrorText(target, error);
  } catch (...) {
    handleUnexpected(target);
  }
  return false;
}

// What ended a guarded body: a failure code, or a failure of another kind
// (an error text or a fault, which the handlers wrote into the target in
// place of what it held). Both clear when the body runs through.
struct BodyFailure {
  HRESULT code = S_OK;
  bool other = false;
  bool happened() const { return code != S_OK || other; }
};

// As guarded, noting in `failure` what ended the body.
template <class Body>
bool guardedNoting(std::string& target, BodyFailure& failure, Body&& body) noexcept {
  failure = BodyFailure{S_OK, true};
  return guarded(target, [&] {
    try {
      const bool result = body();
      failure = BodyFailure{};
      return result;
    } catch (const FailureCode& code) {
      failure = BodyFailure{code.code, false};
      throw;
    }
  });
}
