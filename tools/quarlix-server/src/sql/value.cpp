#include "sql/value.h"

#include "tds/columns.h"

namespace sql {

Value Value::integer(std::optional<std::int64_t> number, std::uint8_t width) {
  Value v;
  v.width = width;
  v.number = number;
  return v;
}

Value Value::numeric(std::optional<std::int64_t> number) {
  Value v;
  v.type = Type::Numeric;
  v.number = number;
  return v;
}

Value Value::nvarchar(const std::string& utf8, std::uint16_t maxLength) {
  Value v;
  v.type = Type::NVarChar;
  v.maxLength = maxLength;
  v.bytes = tds::utf16Of(utf8);
  return v;
}

Value Value::name(const std::string& utf8) { return nvarchar(utf8, 256); }

Value Value::variantOfText(const std::string& utf8) {
  Value v;
  v.type = Type::Variant;
  v.variantText = true;
  v.bytes = tds::utf16Of(utf8);
  return v;
}

Value Value::variantOfInt(std::int32_t number) {
  Value v;
  v.type = Type::Variant;
  v.number = number;
  return v;
}

Value Value::null(Type type, std::uint16_t maxLength) {
  Value v;
  v.type = type;
  v.maxLength = maxLength;
  return v;
}

}  // namespace sql
