// Reads a fuzzer's input as a stream of small decisions. Past the end every
// read gives zero or nothing, so every input decodes into something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }
  size_t left() const { return empty() ? 0 : size_ - position_; }

  uint8_t byte() { return empty() ? 0 : data_[position_++]; }
  bool flag() { return byte() & 1; }
  uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
  uint32_t u32() { return static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16; }
  uint64_t u64() { return static_cast<uint64_t>(u32()) | static_cast<uint64_t>(u32()) << 32; }
  double real() {
    const uint64_t bits = u64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Up to `count` bytes: fewer when the input ends first.
  std::string bytes(size_t count) {
    const size_t taken = count < left() ? count : left();
    std::string out(reinterpret_cast<const char*>(data_ + position_), taken);
    position_ += taken;
    return out;
  }
  // A length (one byte when `longest` < 256, else two) and then the bytes.
  std::string sized(size_t longest) {
    const size_t length = longest < 256 ? byte() : u16();
    return bytes(length % (longest + 1));
  }
  std::string rest() { return bytes(left()); }
  // A sized text (as sized) read as UTF-16 code units, any of them: lone
  // surrogates and zeros too.
  std::u16string utf16(size_t longestBytes) { return utf16Units(sized(longestBytes)); }

  // Little-endian pairs of bytes as UTF-16 code units; an odd last byte is
  // dropped.
  static std::u16string utf16Units(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      units += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    return units;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};
