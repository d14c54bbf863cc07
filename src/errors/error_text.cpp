#include "errors/error_text.h"

#include <cstdarg>
#include <cstdio>

#include "errors/failures.h"

void formatText(std::string& text, const char* format, ...) {
  if (!format) throw StringLayerFailure{E_INVALIDARG};
  va_list measureArgs;
  va_start(measureArgs, format);
  int length = std::vsnprintf(nullptr, 0, format, measureArgs);
  va_end(measureArgs);
  if (length < 0) throw StringLayerFailure{E_INVALIDARG};

  std::string formatted(static_cast<size_t>(length), '\0');
  va_list writeArgs;
  va_start(writeArgs, format);
  std::vsnprintf(&formatted[0], formatted.size() + 1, format, writeArgs);
  va_end(writeArgs);
  text = std::move(formatted);
}

void appendText(std::string& text, const std::string& more) { text += more; }

void describeFailure(DescriptionBuffer& buffer, HRESULT code, std::string& target) noexcept {
  try {
    std::string local;
    buffer.release();
    DWORD lookedUp = static_cast<DWORD>(code);
    if ((lookedUp & 0x1FFF0000u) == 0x00080000u) lookedUp &= 0xFFFFu;

    // Inserts are never filled in: a system text with "%1" in it must not be
    // formatted with arguments that were never passed.
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, lookedUp,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(buffer.put()), 0, nullptr);
    if (length != 0 && buffer.get()) {
      formatText(local, "\nError: %s", buffer.get());
      buffer.release();
    } else {
      formatText(local, "\n[Could not find a description for error # %#x.]", static_cast<unsigned>(lookedUp));
    }
    appendText(target, local);
  } catch (...) {
    // Out of memory while describing: the target keeps what it had.
  }
}
