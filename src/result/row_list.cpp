#include "result/row_list.h"

#include <algorithm>
#include <cstring>

#include "errors/failures.h"

namespace {
constexpr size_t kBlockSize = 256 * 1024;
}

std::string_view RowList::store(std::string_view bytes) {
  if (bytes.empty()) return std::string_view();
  if (blocks_.empty() || blockSize_ - blockUsed_ < bytes.size()) {
    // A cell larger than a block gets a block of its own.
    const size_t size = std::max(kBlockSize, bytes.size());
    blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
    blockSize_ = size;
    blockUsed_ = 0;
  }
  char* place = blocks_.back().get() + blockUsed_;
  std::memcpy(place, bytes.data(), bytes.size());
  blockUsed_ += bytes.size();
  return std::string_view(place, bytes.size());
}

void RowList::commit(const Row& row) {
  const size_t cellsBefore = cells_.size();
  try {
    rowStarts_.reserve(rowStarts_.size() + 1);
    for (size_t i = 0; i < row.size(); ++i) cells_.push_back(store(row.cell(i)));
    rowStarts_.push_back(cellsBefore);
  } catch (...) {
    cells_.resize(cellsBefore);  // a row is committed whole or not at all
    throw;
  }
}

size_t RowList::cellCount(size_t row) const {
  if (row >= rowStarts_.size()) throw IndexFault();
  const size_t end = row + 1 < rowStarts_.size() ? rowStarts_[row + 1] : cells_.size();
  return end - rowStarts_[row];
}

std::string_view RowList::cell(size_t row, size_t column) const {
  if (column >= cellCount(row)) throw IndexFault();
  return cells_[rowStarts_[row] + column];
}

void RowList::clear() {
  blocks_.clear();
  blockUsed_ = blockSize_ = 0;
  std::vector<std::string_view>().swap(cells_);
  std::vector<size_t>().swap(rowStarts_);
}
