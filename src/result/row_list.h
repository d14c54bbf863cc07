// The committed rows of a result, in commit order. Rows are kept in fixed
// blocks that never move, so the addresses handed to the host stay valid
// until the result has been sent, and a large answer is never copied to grow.
// Each row is one record in a block: its cell count, then each cell's length
// with its absent flag followed by its bytes, the numbers of variable length
// (one byte for a cell under 64 bytes). Beyond its text a row of short cells
// costs a byte per cell and one more, and four bytes of index: where its
// record starts in its block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "result/row.h"

class RowList {
 public:
  // The cells of one row, read in order.
  class Reader {
   public:
    Reader(const RowList& rows, size_t row);
    size_t size() const { return cells_; }
    // The next cell; false past the last.
    bool next(std::string_view& cell, bool& absent);

   private:
    const unsigned char* at_;  // the next cell
    size_t cells_ = 0;
    size_t read_ = 0;
  };

  void commit(const Row& row);
  size_t size() const { return rows_; }
  bool empty() const { return rows_ == 0; }
  size_t cellCount(size_t row) const { return Reader(*this, row).size(); }
  std::string_view cell(size_t row, size_t column) const;
  bool absent(size_t row, size_t column) const;
  void clear();

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    size_t used = 0;
    size_t firstRow = 0;
  };

  char* reserve(size_t bytes);
  const unsigned char* record(size_t row) const;
  // Cell `column` of `row`, and its absent flag.
  std::string_view find(size_t row, size_t column, bool& absent) const;

  std::vector<Block> blocks_;
  // Each row's record start in its block, in chunks that never move.
  std::vector<std::unique_ptr<uint32_t[]>> starts_;
  size_t rows_ = 0;
};
