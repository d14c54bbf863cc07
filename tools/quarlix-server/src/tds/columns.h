// What an answer's result columns and messages are made of: a column's type
// on the wire and name, a cell's bytes, an ERROR or INFO token's fields.
#pragma once

#include "opends_host.h"

#include <array>
#include <cstdint>
#include <string>

namespace tds {

using Collation = std::array<std::uint8_t, 5>;

struct ColumnDescription {
  // kTypeBigVarChar, kTypeNVarChar, kTypeBigVarBinary (up to 8000 bytes);
  // kTypeText, kTypeNText, kTypeImage (longer); kTypeIntN, kTypeNumericN,
  // kTypeVariant (constants).
  std::uint8_t wireType = 0;
  std::uint32_t maxLength = 0;            // bytes; kTypeIntN: the int's width
  std::uint8_t precision = 0, scale = 0;  // kTypeNumericN
  std::uint16_t flags = 0x0001;           // nullable
  std::u16string name;                    // at most 255 code units go out
  Collation collation{};
};

// A cell is an OdsCell: its payload as the column's type carries it (an
// int's bytes least significant first, a numeric's sign and magnitude, a
// sql_variant's base type, properties and value, a text's bytes).
using Cell = OdsCell;

struct MessageToken {
  enum class Class { error, info };
  Class kind = Class::error;
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 0;
  std::u16string text;
  std::u16string server;
  std::u16string procedure;
  std::uint32_t line = 0;
};

// The UTF-16LE bytes of an nvarchar cell holding UTF-8 text; each maximal
// subpart of an ill-formed sequence becomes one U+FFFD.
std::string utf16Of(std::string_view utf8);

}  // namespace tds
