#include "errors/guarded.h"

#include "errors/error_text.h"

void handleFailureCode(std::string& target, HRESULT code) noexcept {
  DescriptionBuffer buffer;
  describeFailure(buffer, code, target);
}

void handleErrorText(std::string& target, const ErrorText& error) noexcept {
  try {
    target = error.text;
  } catch (...) {
    target.clear();
  }
}

void handleUnexpected(std::string& target) noexcept {
  const DWORD lastError = GetLastError();
  try {
    if (lastError != 0)
      formatText(target, "Last error: %d", static_cast<int>(lastError));
    else
      formatText(target, "Unexpected error.");
  } catch (...) {
    target.clear();
  }
}
