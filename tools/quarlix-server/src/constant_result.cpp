#include "constant_result.h"

#include "tds_constants.h"

namespace tds {

namespace {

constexpr std::uint32_t kVariantMaxLength = 8016;

class Bytes {
 public:
  explicit Bytes(std::string& out) : out_(out) {}
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void le(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void raw(std::string_view b) { out_.append(b.data(), b.size()); }
  void collation(const Collation& c) {
    for (std::uint8_t b : c) u8(b);
  }
  void bVarchar(std::u16string_view text) {
    text = text.substr(0, 255);
    u8(static_cast<std::uint8_t>(text.size()));
    for (char16_t unit : text) le(unit, 2);
  }

 private:
  std::string& out_;
};

std::uint16_t columnLength(const ConstantValue& v) {
  if (v.maxLength) return v.maxLength;
  const size_t own = v.bytes ? v.bytes->size() : 0;
  return static_cast<std::uint16_t>(
      std::max<size_t>(std::min<size_t>(own, 8000), v.type == ConstantValue::Type::NVarChar ? 2 : 1));
}

void typeInfo(Bytes& b, const ConstantValue& v, const Collation& collation) {
  switch (v.type) {
    case ConstantValue::Type::Int:
      b.u8(kTypeIntN);
      b.u8(v.width);
      break;
    case ConstantValue::Type::VarChar:
    case ConstantValue::Type::NVarChar:
      b.u8(v.type == ConstantValue::Type::VarChar ? kTypeBigVarChar : kTypeNVarChar);
      b.le(columnLength(v), 2);
      b.collation(collation);
      break;
    case ConstantValue::Type::Variant:
      b.u8(kTypeVariant);
      b.le(kVariantMaxLength, 4);
      break;
  }
}

void value(Bytes& b, const ConstantValue& v, const Collation& collation) {
  switch (v.type) {
    case ConstantValue::Type::Int:
      if (!v.number) return b.u8(0);
      b.u8(v.width);
      b.le(static_cast<std::uint64_t>(*v.number), v.width);
      return;
    case ConstantValue::Type::VarChar:
    case ConstantValue::Type::NVarChar:
      if (!v.bytes) return b.le(0xFFFF, 2);
      b.le(std::min<size_t>(v.bytes->size(), 8000), 2);
      b.raw(std::string_view(*v.bytes).substr(0, 8000));
      return;
    case ConstantValue::Type::Variant:
      if (v.isNull()) return b.le(0, 4);
      if (v.variantText) {
        const std::string_view text = std::string_view(*v.bytes).substr(0, 8000);
        b.le(2 + 7 + text.size(), 4);
        b.u8(kTypeNVarChar);
        b.u8(7);
        b.collation(collation);
        b.le(256, 2);  // nvarchar(128)
        b.raw(text);
      } else {
        b.le(2 + 4, 4);
        b.u8(kTypeInt4);
        b.u8(0);
        b.le(static_cast<std::uint64_t>(*v.number), 4);
      }
      return;
  }
}

void metadata(TokenWriter& writer, std::uint32_t version, const Collation& collation,
              const std::vector<ConstantColumn>& columns) {
  Bytes b(writer.bytes());
  b.u8(kColMetadata);
  b.le(columns.size(), 2);
  for (const ConstantColumn& column : columns) {
    b.le(0, atLeast72(version) ? 4 : 2);  // user type
    b.le(0x0001, 2);                      // nullable
    typeInfo(b, column.value, collation);
    b.bVarchar(column.name);
  }
}

}  // namespace

void writeConstantRow(TokenWriter& writer, std::uint32_t version, const Collation& collation,
                      const std::vector<ConstantColumn>& columns, std::uint8_t doneToken, std::uint16_t doneStatus) {
  metadata(writer, version, collation, columns);
  Bytes b(writer.bytes());
  b.u8(kRow);
  for (const ConstantColumn& column : columns) value(b, column.value, collation);
  writer.done(doneToken, doneStatus, 0xC1, 1);
}

void writeConstantMetadata(TokenWriter& writer, std::uint32_t version, const Collation& collation,
                           const std::vector<ConstantColumn>& columns, std::uint8_t doneToken,
                           std::uint16_t doneStatus) {
  metadata(writer, version, collation, columns);
  writer.done(doneToken, doneStatus, 0xC1, 0);
}

void writeIntReturnValue(TokenWriter& writer, std::uint32_t version, std::uint16_t ordinal, std::u16string_view name,
                         std::int32_t number) {
  Bytes b(writer.bytes());
  b.u8(kReturnValue);
  b.le(ordinal, 2);
  b.bVarchar(name);
  b.u8(0x01);  // an output parameter
  b.le(0, atLeast72(version) ? 4 : 2);
  b.le(0x0001, 2);
  b.u8(kTypeIntN);
  b.u8(4);
  b.u8(4);
  b.le(static_cast<std::uint32_t>(number), 4);
}

}  // namespace tds
