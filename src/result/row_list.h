// The committed rows of a result, in commit order. Rows are kept in fixed
// blocks that never move, so the addresses handed to the host stay valid
// until the result has been sent, and a large answer is never copied to grow.
// Each row is one record in a block: its cell count, the end of each cell
// (31-bit offsets into the row's bytes, the top bit marking an absent cell),
// then the bytes; beyond its text a row costs a pointer and four bytes per
// cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "result/row.h"

class RowList {
 public:
  void commit(const Row& row);
  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  size_t cellCount(size_t row) const;
  std::string_view cell(size_t row, size_t column) const;
  bool absent(size_t row, size_t column) const;
  void clear();

 private:
  char* reserve(size_t bytes);
  const char* record(size_t row) const;
  uint32_t cellEnd(const char* record, size_t column) const;  // with the absent bit

  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockUsed_ = 0;
  size_t blockSize_ = 0;
  std::vector<const char*> rows_;  // each row's record
};
