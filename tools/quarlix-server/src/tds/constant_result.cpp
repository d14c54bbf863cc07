#include "tds/constant_result.h"

#include "tds/tds_constants.h"

namespace tds {

namespace {

constexpr std::uint32_t kVariantMaxLength = 8016;

// An int of `width` bytes, least significant first.
void littleEndian(TokenWriter& w, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) w.u8(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint16_t columnLength(const ConstantValue& v) {
  if (v.maxLength) return v.maxLength;
  const size_t own = v.bytes ? v.bytes->size() : 0;
  return static_cast<std::uint16_t>(
      std::max<size_t>(std::min<size_t>(own, 8000), v.type == ConstantValue::Type::NVarChar ? 2 : 1));
}

void typeInfo(TokenWriter& writer, const ConstantValue& v, const Collation& collation) {
  switch (v.type) {
    case ConstantValue::Type::Int:
      writer.u8(kTypeIntN);
      writer.u8(v.width);
      break;
    case ConstantValue::Type::VarChar:
    case ConstantValue::Type::NVarChar:
      writer.u8(v.type == ConstantValue::Type::VarChar ? kTypeBigVarChar : kTypeNVarChar);
      writer.u16(columnLength(v));
      writer.collation(collation);
      break;
    case ConstantValue::Type::Variant:
      writer.u8(kTypeVariant);
      writer.u32(kVariantMaxLength);
      break;
  }
}

void value(TokenWriter& writer, const ConstantValue& v, const Collation& collation) {
  switch (v.type) {
    case ConstantValue::Type::Int:
      if (!v.number) return writer.u8(0);
      writer.u8(v.width);
      littleEndian(writer, static_cast<std::uint64_t>(*v.number), v.width);
      return;
    case ConstantValue::Type::VarChar:
    case ConstantValue::Type::NVarChar:
      if (!v.bytes) return writer.u16(0xFFFF);
      writer.u16(static_cast<std::uint16_t>(std::min<size_t>(v.bytes->size(), 8000)));
      writer.raw(std::string_view(*v.bytes).substr(0, 8000));
      return;
    case ConstantValue::Type::Variant:
      if (v.isNull()) return writer.u32(0);
      if (v.variantText) {
        const std::string_view text = std::string_view(*v.bytes).substr(0, 8000);
        writer.u32(static_cast<std::uint32_t>(2 + 7 + text.size()));
        writer.u8(kTypeNVarChar);
        writer.u8(7);
        writer.collation(collation);
        writer.u16(256);  // nvarchar(128)
        writer.raw(text);
      } else {
        writer.u32(2 + 4);
        writer.u8(kTypeInt4);
        writer.u8(0);
        writer.u32(static_cast<std::uint32_t>(*v.number));
      }
      return;
  }
}

}  // namespace

void writeConstantMetadata(TokenWriter& writer, const Collation& collation,
                           const std::vector<ConstantColumn>& columns) {
  writer.u8(kColMetadata);
  writer.u16(static_cast<std::uint16_t>(columns.size()));
  for (const ConstantColumn& column : columns) {
    writer.userType();
    writer.u16(0x0001);  // nullable
    typeInfo(writer, column.value, collation);
    writer.bVarchar(column.name);
  }
}

void writeConstantRow(TokenWriter& writer, const Collation& collation, const std::vector<ConstantColumn>& columns) {
  writer.u8(kRow);
  for (const ConstantColumn& column : columns) value(writer, column.value, collation);
}

void writeIntReturnValue(TokenWriter& writer, std::uint16_t ordinal, std::u16string_view name, std::int32_t number) {
  writer.u8(kReturnValue);
  writer.u16(ordinal);
  writer.bVarchar(name);
  writer.u8(0x01);  // an output parameter
  writer.userType();
  writer.u16(0x0001);
  writer.u8(kTypeIntN);
  writer.u8(4);
  writer.u8(4);
  writer.u32(static_cast<std::uint32_t>(number));
}

}  // namespace tds
