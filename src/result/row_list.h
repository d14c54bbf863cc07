// The committed rows of a result, in commit order. Cell bytes are kept in
// fixed blocks that never move, so the addresses handed to the host stay
// valid until the result has been sent, and a large answer is never copied
// to grow.
#ifndef QUARLIX_RESULT_ROW_LIST_H
#define QUARLIX_RESULT_ROW_LIST_H

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "result/row.h"

class RowList {
 public:
  void commit(const Row& row);
  size_t size() const { return rowStarts_.size(); }
  bool empty() const { return rowStarts_.empty(); }
  size_t cellCount(size_t row) const;
  std::string_view cell(size_t row, size_t column) const;
  void clear();

 private:
  std::string_view store(std::string_view bytes);

  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockUsed_ = 0;
  size_t blockSize_ = 0;
  std::vector<std::string_view> cells_;
  std::vector<size_t> rowStarts_;  // index of each row's first cell in cells_
};

#endif
