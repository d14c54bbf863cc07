// A result set of constant values (the answers to SELECT 1, @@VERSION,
// SERVERPROPERTY(...)) and output parameters, in the types a server gives
// them: int of 1, 2, 4 or 8 bytes, varchar, nvarchar, and sql_variant over an
// int or an nvarchar.
#pragma once

#include "tds/token_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tds {

struct ConstantValue {
  enum class Type { Int, VarChar, NVarChar, Variant };
  Type type = Type::Int;
  std::uint8_t width = 4;              // Int: bytes
  std::uint16_t maxLength = 0;         // VarChar, NVarChar: bytes of the column (0: the value's own)
  std::optional<std::int64_t> number;  // Int, or a Variant's int
  std::optional<std::string> bytes;    // VarChar: code page bytes; NVarChar or a Variant's text: UTF-16LE
  bool variantText = false;            // Variant: an nvarchar inside (else an int)
  bool isNull() const { return type == Type::Int ? !number : type == Type::Variant ? !number && !bytes : !bytes; }
};

struct ConstantColumn {
  std::u16string name;
  ConstantValue value;
};

// COLMETADATA of the columns.
void writeConstantMetadata(TokenWriter& writer, const Collation& collation, const std::vector<ConstantColumn>& columns);

// ROW of the columns' values.
void writeConstantRow(TokenWriter& writer, const Collation& collation, const std::vector<ConstantColumn>& columns);

// RETURNVALUE of an int output parameter.
void writeIntReturnValue(TokenWriter& writer, std::uint16_t ordinal, std::u16string_view name, std::int32_t value);

}  // namespace tds
