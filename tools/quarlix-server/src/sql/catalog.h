// Everything the server knows by name, in tables: the @@ variables and
// functions SELECT answers (with their types and values), the properties of
// SERVERPROPERTY, the SET options that change an answer, the system
// procedures of RPC requests, the procedure's own names and the system
// objects clients look for. The grammar reads it (as its vocabulary), the
// runner reads it, and a test compares it with docs/server-statements.md.
// Adding a name is adding a row.
#pragma once

#include "answer/code_page_text.h"
#include "sql/value.h"
#include "tsql/statements.h"
#include "tsql/vocabulary.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SessionState;

namespace sql {

// What values are made of: the server's and the session's facts.
struct Facts {
  const CodePageText* text = nullptr;
  std::string serverName;      // UTF-8
  std::string productVersion;  // "11.0.0.0"
  std::string versionText;     // @@VERSION
  std::string user;            // the login
  std::uint16_t spid = 0;
  int tranCount = 0;
  std::int32_t textSize = 0;
  std::int64_t rowCount = 0;   // of the previous statement
  std::int32_t lastError = 0;  // of the previous statement
};

struct GlobalVariable {
  const char* name;  // lower case, without @@
  const char* type;  // as the documentation names it
  Value (*value)(const Facts&);
};

struct Function {
  const char* name;  // lower case
  unsigned least, most;
  const char* type;
  Value (*value)(const std::vector<tsql::Expression>& arguments, const Facts&);
};

struct ServerProperty {
  const char* name;  // as documented; compared without regard to case
  Value (*value)(const Facts&);
};

// A SET option that changes what the server answers; any other is accepted
// and changes nothing.
struct SetOption {
  const char* name;  // lower case
  void (*apply)(SessionState& state, const std::string& value);
};

// A procedure of RPC requests by number (and by name, with or without
// sys., dbo. or master..); `served` ones run, the others are known for
// their names in messages.
struct SystemProcedure {
  const char* name;
  std::uint16_t number;
  bool served;
};

// A system object clients look for at connect; every object answers error
// 208 here, these are listed so that what a client sees is known.
struct ProbedObject {
  const char* name;
  const char* probedBy;
};

// The types CAST and CONVERT reach.
struct ConvertType {
  const char* name;
};

class Catalog : public tsql::Vocabulary {
 public:
  static const Catalog& instance();

  bool knowsGlobal(std::string_view name) const override;
  std::optional<Arity> function(std::string_view name) const override;
  bool knowsType(std::string_view name) const override;

  const GlobalVariable* global(std::string_view name) const;
  const Function* functionNamed(std::string_view name) const;
  const ServerProperty* property(std::string_view name) const;  // any letter case
  const SetOption* setOption(std::string_view name) const;
  // By number, or by name (any case, with or without a prefix); null for any other.
  const SystemProcedure* systemProcedure(std::uint16_t number) const;
  const SystemProcedure* systemProcedure(std::string_view name) const;

  const std::vector<GlobalVariable>& globals() const;
  const std::vector<Function>& functions() const;
  const std::vector<ServerProperty>& properties() const;
  const std::vector<SetOption>& setOptions() const;
  const std::vector<SystemProcedure>& systemProcedures() const;
  const std::vector<ProbedObject>& probedObjects() const;
  const std::vector<ConvertType>& convertTypes() const;
};

// SQL Server's major version that clients are told (11: the first whose
// protocol is TDS 7.4, this server's newest), and the version texts.
std::string productVersion();
std::string versionText(const std::string& serverVersion);

}  // namespace sql
