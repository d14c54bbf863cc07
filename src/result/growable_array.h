// The list used throughout the procedure: capacity 0, then 1, then twice the
// count. An append that cannot grow the storage changes nothing and returns
// false; an index outside the list raises IndexFault.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "errors/failures.h"

template <class T>
class GrowableArray {
 public:
  bool append(const T& item) {
    if (items_.size() == capacity_) {
      const size_t grown = capacity_ == 0 ? 1 : 2 * items_.size();
      try {
        items_.reserve(grown);
      } catch (const std::bad_alloc&) {
        return false;
      } catch (const std::length_error&) {
        return false;
      }
      capacity_ = grown;
    }
    items_.push_back(item);  // no reallocation here: a failed copy leaves the list as it was
    return true;
  }

  T& operator[](size_t index) {
    if (index >= items_.size()) throw IndexFault();
    return items_[index];
  }
  const T& operator[](size_t index) const {
    if (index >= items_.size()) throw IndexFault();
    return items_[index];
  }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  size_t capacity() const { return capacity_; }

  void clear() {
    std::vector<T>().swap(items_);
    capacity_ = 0;
  }

  typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
  typename std::vector<T>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<T> items_;
  size_t capacity_ = 0;
};
