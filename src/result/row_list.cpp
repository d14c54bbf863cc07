#include "result/row_list.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "errors/failures.h"

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr size_t kStartsPerChunk = 16 * 1024;

// Seven bits a byte, low bits first; the top bit says more follow.
size_t numberBytes(uint32_t value) {
  size_t bytes = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++bytes;
  }
  return bytes;
}

char* writeNumber(char* at, uint32_t value) {
  while (value >= 0x80) {
    *at++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *at++ = static_cast<char>(value);
  return at;
}

uint32_t readNumber(const unsigned char*& at) {
  uint32_t value = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = *at++;
    value |= static_cast<uint32_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return value;
  }
}

// A cell's length with its absent flag as the low bit.
uint32_t lengthAndFlag(size_t length, bool absent) { return static_cast<uint32_t>(length << 1 | (absent ? 1 : 0)); }

}  // namespace

RowList::Reader::Reader(const RowList& rows, size_t row) : at_(rows.record(row)) { cells_ = readNumber(at_); }

bool RowList::Reader::next(std::string_view& cell, bool& absent) {
  if (read_ == cells_) return false;
  const uint32_t number = readNumber(at_);
  absent = number & 1;
  cell = std::string_view(reinterpret_cast<const char*>(at_), number >> 1);
  at_ += number >> 1;
  ++read_;
  return true;
}

char* RowList::reserve(size_t bytes) {
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < bytes) {
    // A row larger than a block gets a block of its own.
    Block block;
    block.size = std::max(kBlockSize, bytes);
    block.bytes.reset(new char[block.size]);
    block.firstRow = rows_;
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(std::move(block));
  }
  return blocks_.back().bytes.get() + blocks_.back().used;
}

void RowList::commit(const Row& row) {
  const size_t cells = row.size();
  if (cells >= UINT32_MAX / 2) throw std::bad_alloc();
  size_t recordBytes = numberBytes(static_cast<uint32_t>(cells));
  for (size_t i = 0; i < cells; ++i) {
    const size_t length = row.cell(i).size();
    if (length >= UINT32_MAX / 2 || recordBytes > SIZE_MAX / 2) throw std::bad_alloc();
    recordBytes += numberBytes(lengthAndFlag(length, row.absent(i))) + length;
  }
  if (rows_ % kStartsPerChunk == 0 && rows_ / kStartsPerChunk == starts_.size()) {
    starts_.reserve(starts_.size() + 1);
    starts_.emplace_back(new uint32_t[kStartsPerChunk]);
  }
  char* place = reserve(recordBytes);
  char* at = writeNumber(place, static_cast<uint32_t>(cells));
  for (size_t i = 0; i < cells; ++i) {
    const std::string_view cell = row.cell(i);
    at = writeNumber(at, lengthAndFlag(cell.size(), row.absent(i)));
    if (!cell.empty()) std::memcpy(at, cell.data(), cell.size());
    at += cell.size();
  }
  Block& block = blocks_.back();
  starts_[rows_ / kStartsPerChunk][rows_ % kStartsPerChunk] = static_cast<uint32_t>(block.used);
  block.used += recordBytes;
  ++rows_;  // a row is committed whole or not at all
}

const unsigned char* RowList::record(size_t row) const {
  if (row >= rows_) throw IndexFault();
  // The last block that starts at or before the row.
  auto block =
      std::upper_bound(blocks_.begin(), blocks_.end(), row, [](size_t r, const Block& b) { return r < b.firstRow; });
  --block;
  return reinterpret_cast<const unsigned char*>(block->bytes.get()) +
         starts_[row / kStartsPerChunk][row % kStartsPerChunk];
}

std::string_view RowList::find(size_t row, size_t column, bool& absent) const {
  Reader reader(*this, row);
  if (column >= reader.size()) throw IndexFault();
  std::string_view cell;
  for (size_t i = 0; i <= column; ++i) reader.next(cell, absent);
  return cell;
}

std::string_view RowList::cell(size_t row, size_t column) const {
  bool absent = false;
  return find(row, column, absent);
}

bool RowList::absent(size_t row, size_t column) const {
  bool absent = false;
  find(row, column, absent);
  return absent;
}

void RowList::clear() {
  std::vector<Block>().swap(blocks_);
  std::vector<std::unique_ptr<uint32_t[]>>().swap(starts_);
  rows_ = 0;
}
