#include "result/row_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "errors/failures.h"

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr uint32_t kAbsentBit = 0x80000000u;  // in a cell's end: the cell is absent

// Records are packed without alignment: numbers are read and written as bytes.
uint32_t readNumber(const char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void writeNumber(char* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

char* RowList::reserve(size_t bytes) {
  if (blocks_.empty() || blockSize_ - blockUsed_ < bytes) {
    // A row larger than a block gets a block of its own.
    const size_t size = std::max(kBlockSize, bytes);
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
    blockSize_ = size;
    blockUsed_ = 0;
  }
  return blocks_.back().get() + blockUsed_;
}

void RowList::commit(const Row& row) {
  const size_t cells = row.size();
  size_t textBytes = 0;
  for (size_t i = 0; i < cells; ++i) textBytes += row.cell(i).size();
  if (cells >= UINT32_MAX || textBytes >= kAbsentBit) throw std::bad_alloc();
  const size_t headerBytes = sizeof(uint32_t) * (1 + cells);
  char* place = reserve(headerBytes + textBytes);

  writeNumber(place, static_cast<uint32_t>(cells));
  char* text = place + headerBytes;
  uint32_t end = 0;
  for (size_t i = 0; i < cells; ++i) {
    const std::string_view cell = row.cell(i);
    if (!cell.empty()) std::memcpy(text + end, cell.data(), cell.size());
    end += static_cast<uint32_t>(cell.size());
    writeNumber(place + sizeof(uint32_t) * (1 + i), row.absent(i) ? end | kAbsentBit : end);
  }
  rows_.push_back(place);  // a row is committed whole or not at all
  blockUsed_ += headerBytes + textBytes;
}

const char* RowList::record(size_t row) const {
  if (row >= rows_.size()) throw IndexFault();
  return rows_[row];
}

size_t RowList::cellCount(size_t row) const { return readNumber(record(row)); }

uint32_t RowList::cellEnd(const char* record, size_t column) const {
  if (column >= readNumber(record)) throw IndexFault();
  return readNumber(record + sizeof(uint32_t) * (1 + column));
}

std::string_view RowList::cell(size_t row, size_t column) const {
  const char* at = record(row);
  const uint32_t end = cellEnd(at, column) & ~kAbsentBit;
  const uint32_t begin = column == 0 ? 0 : cellEnd(at, column - 1) & ~kAbsentBit;
  return std::string_view(at + sizeof(uint32_t) * (1 + readNumber(at)) + begin, end - begin);
}

bool RowList::absent(size_t row, size_t column) const { return (cellEnd(record(row), column) & kAbsentBit) != 0; }

void RowList::clear() {
  blocks_.clear();
  blockUsed_ = blockSize_ = 0;
  std::vector<const char*>().swap(rows_);
}
