// A constant value as SELECT answers it, in the type a server gives it: an
// int of 1, 2, 4 or 8 bytes, numeric(38,0), varchar, nvarchar, or
// sql_variant holding an int or an nvarchar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sql {

struct Value {
  enum class Type { Int, Numeric, VarChar, NVarChar, Variant };
  Type type = Type::Int;
  std::uint8_t width = 4;              // Int: bytes
  std::uint16_t maxLength = 0;         // VarChar, NVarChar: bytes of the column (0: the value's own)
  std::optional<std::int64_t> number;  // Int, Numeric, or a Variant's int
  std::optional<std::string> bytes;    // VarChar: code page bytes; NVarChar or a Variant's text: UTF-16LE
  bool variantText = false;            // Variant: an nvarchar inside (else an int)

  bool isNull() const {
    if (type == Type::Variant) return !number && !bytes;
    return type == Type::VarChar || type == Type::NVarChar ? !bytes : !number;
  }

  static Value integer(std::optional<std::int64_t> number, std::uint8_t width = 4);
  static Value numeric(std::optional<std::int64_t> number);  // numeric(38,0)
  static Value nvarchar(const std::string& utf8, std::uint16_t maxLength);
  static Value name(const std::string& utf8);  // nvarchar(128), the type of names
  static Value variantOfText(const std::string& utf8);
  static Value variantOfInt(std::int32_t number);
  static Value null(Type type, std::uint16_t maxLength = 0);
};

}  // namespace sql
