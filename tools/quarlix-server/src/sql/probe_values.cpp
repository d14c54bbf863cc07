#include "sql/probe_values.h"

#include "utf8.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

tds::ConstantValue nullOf(tds::ConstantValue::Type type, std::uint16_t maxLength = 0) {
  tds::ConstantValue v;
  v.type = type;
  v.maxLength = maxLength;
  return v;
}

tds::ConstantValue intValue(std::optional<std::int64_t> number, std::uint8_t width = 4) {
  tds::ConstantValue v;
  v.type = tds::ConstantValue::Type::Int;
  v.width = width;
  v.number = number;
  return v;
}

// nvarchar(128), the type of names on a server.
tds::ConstantValue nameValue(const std::string& utf8) {
  tds::ConstantValue v;
  v.type = tds::ConstantValue::Type::NVarChar;
  v.maxLength = 256;
  v.bytes = tds::utf16Of(utf8);
  return v;
}

tds::ConstantValue variantText(const std::string& utf8) {
  tds::ConstantValue v;
  v.type = tds::ConstantValue::Type::Variant;
  v.variantText = true;
  v.bytes = tds::utf16Of(utf8);
  return v;
}

tds::ConstantValue variantInt(std::int32_t number) {
  tds::ConstantValue v;
  v.type = tds::ConstantValue::Type::Variant;
  v.number = number;
  return v;
}

tds::ConstantValue number(const std::string& text) {
  if (text.find('.') != std::string::npos)
    throw ProbeError("This server selects whole numbers only; '" + text + "' has a fraction.");
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end) throw ProbeError("The number '" + text + "' is out of the range this server selects.");
  const bool fitsInt = value >= INT32_MIN && value <= INT32_MAX;
  return intValue(value, fitsInt ? 4 : 8);
}

// The properties clients ask for at connect; any other is NULL, as a server
// answers a property it does not know.
tds::ConstantValue serverProperty(const sql::Expression& argument, const ProbeContext& c) {
  if (argument.kind != sql::Expression::Kind::String && argument.kind != sql::Expression::Kind::NString)
    return nullOf(tds::ConstantValue::Type::Variant);
  const std::string name = sql::lowered(argument.text);
  if (name == "productversion") return variantText(c.productVersion);
  if (name == "productlevel") return variantText("RTM");
  if (name == "edition") return variantText("quarlix-server");
  if (name == "engineedition") return variantInt(2);
  if (name == "servername" || name == "machinename") return variantText(c.serverName);
  if (name == "instancename") return nullOf(tds::ConstantValue::Type::Variant);
  if (name == "collation")
    return variantText(c.text->codePage() == 65001 ? "Latin1_General_100_CI_AS_SC_UTF8"
                                                   : "SQL_Latin1_General_CP1_CI_AS");
  if (name == "isclustered" || name == "isintegratedsecurityonly" || name == "isfulltextinstalled" ||
      name == "issingleuser" || name == "ishadrenabled")
    return variantInt(0);
  return nullOf(tds::ConstantValue::Type::Variant);
}

// A value as text (UTF-8); none for NULL.
std::optional<std::string> textOf(const tds::ConstantValue& v, const ProbeContext& c) {
  if (v.isNull()) return std::nullopt;
  switch (v.type) {
    case tds::ConstantValue::Type::Int: return std::to_string(*v.number);
    case tds::ConstantValue::Type::VarChar: return unicode::utf16ToUtf8(c.text->toUtf16(*v.bytes));
    case tds::ConstantValue::Type::NVarChar: return utf16leToUtf8(*v.bytes);
    case tds::ConstantValue::Type::Variant: return v.variantText ? utf16leToUtf8(*v.bytes) : std::to_string(*v.number);
  }
  return std::nullopt;
}

// CAST and CONVERT to text of a length (30 when none is given, as a server
// does) or to a whole number.
tds::ConstantValue converted(const tds::ConstantValue& value, const sql::Expression& e, const ProbeContext& c) {
  const std::optional<std::string> text = textOf(value, c);
  const std::string& type = e.text;
  if (type == "int" || type == "bigint" || type == "smallint" || type == "tinyint") {
    const std::uint8_t width = type == "bigint" ? 8 : type == "int" ? 4 : type == "smallint" ? 2 : 1;
    if (!text) return intValue(std::nullopt, width);
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text->c_str(), &end, 10);
    const long long low = width == 1 ? 0 : width == 2 ? INT16_MIN : width == 4 ? INT32_MIN : INT64_MIN;
    const long long high = width == 1 ? 255 : width == 2 ? INT16_MAX : width == 4 ? INT32_MAX : INT64_MAX;
    if (text->empty() || *end || errno == ERANGE || number < low || number > high)
      throw ProbeError("Conversion failed when converting the value '" + *text + "' to data type " + type + ".");
    return intValue(number, width);
  }
  const bool wide = type == "nvarchar" || type == "nchar" || type == "sysname";
  const std::uint32_t length = type == "sysname" ? 128
                               : e.length == 0   ? 30
                                                 : std::min<std::uint32_t>(e.length, wide ? 4000 : 8000);
  tds::ConstantValue v;
  v.type = wide ? tds::ConstantValue::Type::NVarChar : tds::ConstantValue::Type::VarChar;
  v.maxLength = static_cast<std::uint16_t>(wide ? length * 2 : length);
  if (!text) return v;
  // Cut to the length, in characters of the type.
  std::string bytes = wide ? tds::utf16Of(*text) : c.text->fromUtf8(*text);
  if (bytes.size() > v.maxLength) bytes.resize(v.maxLength);
  v.bytes = std::move(bytes);
  return v;
}

}  // namespace

tds::ConstantValue probeValue(const sql::Expression& e, const ProbeContext& c) {
  using Kind = sql::Expression::Kind;
  switch (e.kind) {
    case Kind::Number: return number(e.text);
    case Kind::String: {
      tds::ConstantValue v;
      v.type = tds::ConstantValue::Type::VarChar;
      v.bytes = c.text->fromUtf8(e.text);
      return v;
    }
    case Kind::NString: {
      tds::ConstantValue v;
      v.type = tds::ConstantValue::Type::NVarChar;
      v.bytes = tds::utf16Of(e.text);
      return v;
    }
    case Kind::Null: return intValue(std::nullopt);
    case Kind::GlobalVariable:
      if (e.text == "version") {
        tds::ConstantValue v = nameValue(c.versionText);
        v.maxLength = 600;
        return v;
      }
      if (e.text == "spid") return intValue(c.spid, 2);
      if (e.text == "max_precision") return intValue(38, 1);
      if (e.text == "servername" || e.text == "servicename") return nameValue(c.serverName);
      if (e.text == "trancount") return intValue(c.tranCount);
      if (e.text == "language") return nameValue("us_english");
      if (e.text == "textsize") return intValue(c.textSize);
      break;
    case Kind::Convert: return converted(probeValue(e.arguments.at(0), c), e, c);
    case Kind::Function:
      if (e.text == "schema_name" || e.text == "user_name") return nameValue("dbo");
      if (e.text == "db_name") {
        // The one database; DB_NAME(n) of another number is NULL.
        if (!e.arguments.empty() && !(e.arguments[0].kind == Kind::Number && (e.arguments[0].text == "1")))
          return nullOf(tds::ConstantValue::Type::NVarChar, 256);
        return nameValue("master");
      }
      if (e.text == "suser_sname") return nameValue(c.user);
      if (e.text == "serverproperty") return serverProperty(e.arguments[0], c);
      break;
    case Kind::Variable: break;
  }
  throw ProbeError("This server cannot select that value.");
}
