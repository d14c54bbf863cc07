#include "sql/select_values.h"

#include "tds/columns.h"
#include "utf8.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace sql {

namespace {

Value number(const std::string& text) {
  if (text.find('.') != std::string::npos)
    throw ValueError("This server selects whole numbers only; '" + text + "' has a fraction.");
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end) throw ValueError("The number '" + text + "' is out of the range this server selects.");
  const bool fitsInt = value >= INT32_MIN && value <= INT32_MAX;
  return Value::integer(value, fitsInt ? 4 : 8);
}

// A value as text (UTF-8); none for NULL.
std::optional<std::string> textOf(const Value& v, const Facts& f) {
  if (v.isNull()) return std::nullopt;
  switch (v.type) {
    case Value::Type::Int:
    case Value::Type::Numeric: return std::to_string(*v.number);
    case Value::Type::VarChar: return unicode::utf16ToUtf8(f.text->toUtf16(*v.bytes));
    case Value::Type::NVarChar: return utf16leToUtf8(*v.bytes);
    case Value::Type::Variant: return v.variantText ? utf16leToUtf8(*v.bytes) : std::to_string(*v.number);
  }
  return std::nullopt;
}

// CAST and CONVERT to text of a length (30 when none is given, as a server
// does) or to a whole number.
Value converted(const Value& value, const tsql::Expression& e, const Facts& f) {
  const std::optional<std::string> text = textOf(value, f);
  const std::string& type = e.text;
  if (type == "int" || type == "bigint" || type == "smallint" || type == "tinyint") {
    const std::uint8_t width = type == "bigint" ? 8 : type == "int" ? 4 : type == "smallint" ? 2 : 1;
    if (!text) return Value::integer(std::nullopt, width);
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(text->c_str(), &end, 10);
    const long long low = width == 1 ? 0 : width == 2 ? INT16_MIN : width == 4 ? INT32_MIN : INT64_MIN;
    const long long high = width == 1 ? 255 : width == 2 ? INT16_MAX : width == 4 ? INT32_MAX : INT64_MAX;
    if (text->empty() || *end || errno == ERANGE || n < low || n > high)
      throw ValueError("Conversion failed when converting the value '" + *text + "' to data type " + type + ".");
    return Value::integer(n, width);
  }
  const bool wide = type == "nvarchar" || type == "nchar" || type == "sysname";
  const std::uint32_t length = type == "sysname" ? 128
                               : e.length == 0   ? 30
                                                 : std::min<std::uint32_t>(e.length, wide ? 4000 : 8000);
  Value v = Value::null(wide ? Value::Type::NVarChar : Value::Type::VarChar,
                        static_cast<std::uint16_t>(wide ? length * 2 : length));
  if (!text) return v;
  // Cut to the length, in characters of the type.
  std::string bytes = wide ? tds::utf16Of(*text) : f.text->fromUtf8(*text);
  if (bytes.size() > v.maxLength) bytes.resize(v.maxLength);
  v.bytes = std::move(bytes);
  return v;
}

}  // namespace

Value valueOf(const tsql::Expression& e, const Facts& f) {
  using Kind = tsql::Expression::Kind;
  switch (e.kind) {
    case Kind::Number: return number(e.text);
    case Kind::String: {
      Value v = Value::null(Value::Type::VarChar);
      v.bytes = f.text->fromUtf8(e.text);
      return v;
    }
    case Kind::NString: {
      Value v = Value::null(Value::Type::NVarChar);
      v.bytes = tds::utf16Of(e.text);
      return v;
    }
    case Kind::Null: return Value::integer(std::nullopt);
    case Kind::Global:
      if (const GlobalVariable* global = Catalog::instance().global(e.text)) return global->value(f);
      break;
    case Kind::Function:
      if (const Function* function = Catalog::instance().functionNamed(e.text)) return function->value(e.arguments, f);
      break;
    case Kind::Convert: return converted(valueOf(e.arguments.at(0), f), e, f);
    case Kind::Variable:
    case Kind::Column: break;
  }
  throw ValueError("This server cannot select that value.");
}

}  // namespace sql
