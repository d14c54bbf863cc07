// Bounded reading of a received message: every read checks the bytes left,
// and a short or malformed message raises ProtocolError instead of reading
// past its end.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tds {

class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  size_t position() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ >= bytes_.size(); }

  std::string_view take(size_t count, const char* what) {
    if (count > remaining()) throw ProtocolError(std::string("message ends inside ") + what);
    std::string_view part = bytes_.substr(pos_, count);
    pos_ += count;
    return part;
  }
  void skip(size_t count, const char* what) { take(count, what); }

  std::uint8_t u8(const char* what) { return static_cast<std::uint8_t>(take(1, what)[0]); }
  std::uint16_t u16(const char* what) { return static_cast<std::uint16_t>(little(take(2, what))); }
  std::uint32_t u32(const char* what) { return static_cast<std::uint32_t>(little(take(4, what))); }
  std::uint64_t u64(const char* what) { return little(take(8, what)); }
  std::uint16_t u16be(const char* what) {
    std::string_view b = take(2, what);
    return static_cast<std::uint16_t>((static_cast<unsigned char>(b[0]) << 8) | static_cast<unsigned char>(b[1]));
  }

  // UTF-16LE text of `units` code units.
  std::string_view utf16(size_t units, const char* what) {
    if (units > remaining() / 2) throw ProtocolError(std::string("message ends inside ") + what);
    return take(units * 2, what);
  }

 private:
  static std::uint64_t little(std::string_view b) {
    std::uint64_t value = 0;
    for (size_t i = b.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(b[i]);
    return value;
  }

  std::string_view bytes_;
  size_t pos_ = 0;
};

}  // namespace tds
