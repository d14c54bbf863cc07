#include "probe_values.h"

#include <cerrno>
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
tds::ConstantValue nameValue(const std::string &utf8) {
  tds::ConstantValue v;
  v.type = tds::ConstantValue::Type::NVarChar;
  v.maxLength = 256;
  v.bytes = tds::utf16Of(utf8);
  return v;
}

tds::ConstantValue variantText(const std::string &utf8) {
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

std::string lowered(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

tds::ConstantValue number(const std::string &text) {
  if (text.find('.') != std::string::npos)
    throw ProbeError("This server selects whole numbers only; '" + text + "' has a fraction.");
  errno = 0;
  char *end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end) throw ProbeError("The number '" + text + "' is out of the range this server selects.");
  const bool fitsInt = value >= INT32_MIN && value <= INT32_MAX;
  return intValue(value, fitsInt ? 4 : 8);
}

// The properties clients ask for at connect; any other is NULL, as a server
// answers a property it does not know.
tds::ConstantValue serverProperty(const sql::Expression &argument, const ProbeContext &c) {
  if (argument.kind != sql::Expression::Kind::String && argument.kind != sql::Expression::Kind::NString)
    return nullOf(tds::ConstantValue::Type::Variant);
  const std::string name = lowered(argument.text);
  if (name == "productversion") return variantText(c.productVersion);
  if (name == "productlevel") return variantText("RTM");
  if (name == "edition") return variantText("quarlix-server");
  if (name == "engineedition") return variantInt(2);
  if (name == "servername" || name == "machinename") return variantText(c.serverName);
  if (name == "instancename") return nullOf(tds::ConstantValue::Type::Variant);
  if (name == "collation") return variantText(c.text->codePage() == 65001 ? "Latin1_General_100_CI_AS_SC_UTF8"
                                                                          : "SQL_Latin1_General_CP1_CI_AS");
  if (name == "isclustered" || name == "isintegratedsecurityonly" || name == "isfulltextinstalled" ||
      name == "issingleuser" || name == "ishadrenabled")
    return variantInt(0);
  return nullOf(tds::ConstantValue::Type::Variant);
}

}  // namespace

tds::ConstantValue probeValue(const sql::Expression &e, const ProbeContext &c) {
  using Kind = sql::Expression::Kind;
  switch (e.kind) {
    case Kind::Number:
      return number(e.text);
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
    case Kind::Null:
      return intValue(std::nullopt);
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
    case Kind::Function:
      if (e.text == "db_name") {
        // The one database; DB_NAME(n) of another number is NULL.
        if (!e.arguments.empty() && !(e.arguments[0].kind == Kind::Number && (e.arguments[0].text == "1")))
          return nullOf(tds::ConstantValue::Type::NVarChar, 256);
        return nameValue("master");
      }
      if (e.text == "suser_sname") return nameValue(c.user);
      if (e.text == "serverproperty") return serverProperty(e.arguments[0], c);
      break;
    case Kind::Variable:
      break;
  }
  throw ProbeError("This server cannot select that value.");
}
