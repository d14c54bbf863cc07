#include "sql/catalog.h"

#include "sql/session_state.h"
#include "tsql/lexer.h"

#include <algorithm>
#include <cstdlib>

namespace sql {

namespace {

bool isOn(const std::string& value) { return value == "on"; }

const std::vector<GlobalVariable> kGlobals = {
    {"version", "nvarchar(300)", [](const Facts& f) { return Value::nvarchar(f.versionText, 600); }},
    {"spid", "smallint", [](const Facts& f) { return Value::integer(f.spid, 2); }},
    {"max_precision", "tinyint", [](const Facts&) { return Value::integer(38, 1); }},
    {"servername", "nvarchar(128)", [](const Facts& f) { return Value::name(f.serverName); }},
    {"servicename", "nvarchar(128)", [](const Facts& f) { return Value::name(f.serverName); }},
    {"trancount", "int", [](const Facts& f) { return Value::integer(f.tranCount); }},
    {"language", "nvarchar(128)", [](const Facts&) { return Value::name("us_english"); }},
    {"textsize", "int", [](const Facts& f) { return Value::integer(f.textSize); }},
    {"rowcount", "int", [](const Facts& f) { return Value::integer(f.rowCount); }},
    {"error", "int", [](const Facts& f) { return Value::integer(f.lastError); }},
    {"identity", "numeric(38,0)", [](const Facts&) { return Value::numeric(std::nullopt); }},
};

using Arguments = std::vector<tsql::Expression>;

const std::vector<Function> kFunctions = {
    // The one database; DB_NAME(n) of another number is NULL.
    {"db_name", 0, 1, "nvarchar(128)",
     [](const Arguments& a, const Facts&) {
       const bool master = a.empty() || (a[0].kind == tsql::Expression::Kind::Number && a[0].text == "1");
       return master ? Value::name("master") : Value::null(Value::Type::NVarChar, 256);
     }},
    {"suser_sname", 0, 0, "nvarchar(128)", [](const Arguments&, const Facts& f) { return Value::name(f.user); }},
    {"schema_name", 0, 1, "nvarchar(128)", [](const Arguments&, const Facts&) { return Value::name("dbo"); }},
    {"user_name", 0, 1, "nvarchar(128)", [](const Arguments&, const Facts&) { return Value::name("dbo"); }},
    {"scope_identity", 0, 0, "numeric(38,0)",
     [](const Arguments&, const Facts&) { return Value::numeric(std::nullopt); }},
    {"serverproperty", 1, 1, "sql_variant",
     [](const Arguments& a, const Facts& f) {
       const bool named = a[0].kind == tsql::Expression::Kind::String || a[0].kind == tsql::Expression::Kind::NString;
       const ServerProperty* property = named ? Catalog::instance().property(a[0].text) : nullptr;
       // A property a server does not know is NULL.
       return property ? property->value(f) : Value::null(Value::Type::Variant);
     }},
};

const std::vector<ServerProperty> kProperties = {
    {"ProductVersion", [](const Facts& f) { return Value::variantOfText(f.productVersion); }},
    {"ProductLevel", [](const Facts&) { return Value::variantOfText("RTM"); }},
    {"Edition", [](const Facts&) { return Value::variantOfText("quarlix-server"); }},
    {"EngineEdition", [](const Facts&) { return Value::variantOfInt(2); }},
    {"ServerName", [](const Facts& f) { return Value::variantOfText(f.serverName); }},
    {"MachineName", [](const Facts& f) { return Value::variantOfText(f.serverName); }},
    {"InstanceName", [](const Facts&) { return Value::null(Value::Type::Variant); }},
    {"Collation",
     [](const Facts& f) {
       return Value::variantOfText(f.text->codePage() == 65001 ? "Latin1_General_100_CI_AS_SC_UTF8"
                                                               : "SQL_Latin1_General_CP1_CI_AS");
     }},
    {"IsClustered", [](const Facts&) { return Value::variantOfInt(0); }},
    {"IsIntegratedSecurityOnly", [](const Facts&) { return Value::variantOfInt(0); }},
    {"IsFullTextInstalled", [](const Facts&) { return Value::variantOfInt(0); }},
    {"IsSingleUser", [](const Facts&) { return Value::variantOfInt(0); }},
    {"IsHadrEnabled", [](const Facts&) { return Value::variantOfInt(0); }},
};

const std::vector<SetOption> kSetOptions = {
    {"nocount", [](SessionState& s, const std::string& v) { s.noCount = isOn(v); }},
    {"fmtonly", [](SessionState& s, const std::string& v) { s.formatOnly = isOn(v); }},
    {"implicit_transactions", [](SessionState& s, const std::string& v) { s.implicitTransactions = isOn(v); }},
    {"textsize",
     [](SessionState& s, const std::string& v) {
       const long long size = std::atoll(v.c_str());
       s.textSize = size <= 0 ? 4096 : static_cast<std::int32_t>(std::min<long long>(size, INT32_MAX));
     }},
};

const std::vector<SystemProcedure> kSystemProcedures = {
    {"sp_cursor", 1, false},        {"sp_cursoropen", 2, false},     {"sp_cursorprepare", 3, false},
    {"sp_cursorexecute", 4, false}, {"sp_cursorprepexec", 5, false}, {"sp_cursorunprepare", 6, false},
    {"sp_cursorfetch", 7, false},   {"sp_cursoroption", 8, false},   {"sp_cursorclose", 9, false},
    {"sp_executesql", 10, true},    {"sp_prepare", 11, true},        {"sp_execute", 12, true},
    {"sp_prepexec", 13, true},      {"sp_prepexecrpc", 14, false},   {"sp_unprepare", 15, true},
};

const std::vector<ProbedObject> kProbedObjects = {
    {"sys.system_views", "SQLAlchemy's dialects, for the isolation level"},
    {"INFORMATION_SCHEMA.TABLES", "SQLAlchemy and pandas, before writing a table"},
};

const std::vector<ConvertType> kConvertTypes = {{"varchar"}, {"nvarchar"}, {"char"},     {"nchar"},  {"sysname"},
                                                {"int"},     {"bigint"},   {"smallint"}, {"tinyint"}};

template <class Row>
const Row* named(const std::vector<Row>& rows, std::string_view name) {
  auto found = std::find_if(rows.begin(), rows.end(), [&name](const Row& r) { return name == r.name; });
  return found == rows.end() ? nullptr : &*found;
}

// A name without the prefixes that may name the same procedure.
std::string_view withoutPrefix(std::string_view name) {
  for (std::string_view prefix : {"master.sys.", "master.dbo.", "master..", "sys.", "dbo."})
    if (name.substr(0, prefix.size()) == prefix) return name.substr(prefix.size());
  return name;
}

}  // namespace

const Catalog& Catalog::instance() {
  static const Catalog catalog;
  return catalog;
}

bool Catalog::knowsGlobal(std::string_view name) const { return global(name) != nullptr; }

std::optional<tsql::Vocabulary::Arity> Catalog::function(std::string_view name) const {
  const Function* f = functionNamed(name);
  if (!f) return std::nullopt;
  return Arity{f->least, f->most};
}

bool Catalog::knowsType(std::string_view name) const { return named(kConvertTypes, name) != nullptr; }

const GlobalVariable* Catalog::global(std::string_view name) const { return named(kGlobals, name); }
const Function* Catalog::functionNamed(std::string_view name) const { return named(kFunctions, name); }
const SetOption* Catalog::setOption(std::string_view name) const { return named(kSetOptions, name); }

const ServerProperty* Catalog::property(std::string_view name) const {
  const std::string wanted = tsql::lowered(name);
  auto found = std::find_if(kProperties.begin(), kProperties.end(),
                            [&wanted](const ServerProperty& p) { return tsql::lowered(p.name) == wanted; });
  return found == kProperties.end() ? nullptr : &*found;
}

const SystemProcedure* Catalog::systemProcedure(std::uint16_t number) const {
  auto found = std::find_if(kSystemProcedures.begin(), kSystemProcedures.end(),
                            [number](const SystemProcedure& p) { return p.number == number; });
  return found == kSystemProcedures.end() ? nullptr : &*found;
}

const SystemProcedure* Catalog::systemProcedure(std::string_view name) const {
  const std::string lower = tsql::lowered(name);
  return named(kSystemProcedures, withoutPrefix(lower));
}

const std::vector<GlobalVariable>& Catalog::globals() const { return kGlobals; }
const std::vector<Function>& Catalog::functions() const { return kFunctions; }
const std::vector<ServerProperty>& Catalog::properties() const { return kProperties; }
const std::vector<SetOption>& Catalog::setOptions() const { return kSetOptions; }
const std::vector<SystemProcedure>& Catalog::systemProcedures() const { return kSystemProcedures; }
const std::vector<ProbedObject>& Catalog::probedObjects() const { return kProbedObjects; }
const std::vector<ConvertType>& Catalog::convertTypes() const { return kConvertTypes; }

std::string productVersion() { return "11.0.0.0"; }

std::string versionText(const std::string& serverVersion) {
  return "Microsoft SQL Server protocol, served by quarlix-server " + serverVersion + " - " + productVersion() +
         " (TDS 7.1 to 7.4) on Linux: serves EXEC quarlix only";
}

}  // namespace sql
