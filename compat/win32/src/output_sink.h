// The output side of kernel32's buffer protocol: a zero-sized buffer asks
// for the size needed, a buffer that is too small fails the call with
// ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <climits>
#include <cstddef>

#include "windows.h"

namespace win32compat {

template <class T>
class OutputSink {
 public:
  // A null buffer or a capacity of 0 only counts.
  OutputSink(T* buffer, size_t capacity) : buffer_(capacity ? buffer : nullptr), capacity_(buffer ? capacity : 0) {}

  void put(T unit) {
    if (count_ < capacity_) buffer_[count_] = unit;
    ++count_;
  }

  size_t count() const { return count_; }

  // The function's result: the units needed (or written), or 0 with the
  // last error set when they did not fit.
  int finish() const {
    if (buffer_ && count_ > capacity_) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    if (count_ > static_cast<size_t>(INT_MAX)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    return static_cast<int>(count_);
  }

 private:
  T* buffer_;
  size_t capacity_;
  size_t count_ = 0;
};

}  // namespace win32compat
