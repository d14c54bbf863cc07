// A row of cells. A cell is a byte string with an explicit length (cells of
// binary columns may hold zero bytes), or absent: a value the directory does
// not have, sent as SQL NULL. Absence is a flag of the cell, never a text, so
// the four letters NULL are data like any other. The cells of a row share one
// buffer, so a wide answer costs a few bytes per cell beyond its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "errors/failures.h"

class Row {
 public:
  void append(std::string_view cell) {
    bytes_.append(cell.data(), cell.size());
    ends_.push_back(bytes_.size());
    absent_.push_back(false);
  }
  void appendAbsent() {
    ends_.push_back(bytes_.size());
    absent_.push_back(true);
  }
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view cell(size_t index) const {
    if (index >= ends_.size()) throw IndexFault();
    const size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(bytes_).substr(begin, ends_[index] - begin);
  }
  bool absent(size_t index) const {
    if (index >= absent_.size()) throw IndexFault();
    return absent_[index];
  }
  void clear() {
    bytes_.clear();
    ends_.clear();
    absent_.clear();
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;
  std::vector<bool> absent_;
};
