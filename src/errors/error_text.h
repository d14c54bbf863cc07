// Writing failures into an error text: replacing (formatText), appending
// (appendText) and describing a failure code (describeFailure).
#pragma once

#include <string>

#include "platform/platform.h"

// Replaces the whole text with the printf-style formatting. A null format is
// an invalid argument (StringLayerFailure).
void formatText(std::string& text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void appendText(std::string& text, const std::string& more);

// Holder of one text the system allocated for a description; released with
// LocalFree before reuse and when the holder ends.
class DescriptionBuffer {
 public:
  DescriptionBuffer() = default;
  ~DescriptionBuffer() { release(); }
  DescriptionBuffer(const DescriptionBuffer&) = delete;
  DescriptionBuffer& operator=(const DescriptionBuffer&) = delete;

  void release() {
    if (text_) LocalFree(text_);
    text_ = nullptr;
  }
  char* get() const { return text_; }
  char** put() {
    release();
    return &text_;
  }

 private:
  char* text_ = nullptr;
};

// Appends "\nError: <system description>" or, when the system has none,
// "\n[Could not find a description for error # 0x...]" to the target.
// Codes of facility 8 are looked up by their low 16 bits. Raises nothing.
void describeFailure(DescriptionBuffer& buffer, HRESULT code, std::string& target) noexcept;
