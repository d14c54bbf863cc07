// A request's values as the procedure's parameters, with the types a server
// hands an extended procedure: varchar and char in their long forms; nvarchar
// and nchar as varchar and char in the code page when every character
// converts exactly, else as they came (the procedure's own check answers).
#pragma once

#include "answer/code_page_text.h"
#include "host_parameter.h"
#include "tds/rpc_request.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The type the procedure sees for a value the client sent as `wireType`.
BYTE procedureTypeOf(std::uint8_t wireType);

// The procedure names a client may call: quarlix, dbo.quarlix,
// master..quarlix and master.dbo.quarlix, in any case.
bool namesTheProcedure(std::string_view name);

// The system procedures of RPC requests, by their protocol numbers.
constexpr std::uint16_t kExecuteSql = 10, kPrepare = 11, kExecute = 12, kPrepExec = 13, kUnprepare = 15;
// The number of the system procedure a request names by number or by name
// (sp_executesql, sys.sp_prepare ...); 0 for any other name.
std::uint16_t systemProcedureOf(const tds::RpcRequest& request);
// "sp_cursoropen" for 2: the name of a numbered procedure, for messages.
std::string systemProcedureName(std::uint16_t number);

struct CallParameters {
  std::vector<HostParameter> parameters;
  std::string error;  // when not empty: the text for the client instead of a call
};

// One value as the procedure receives it.
HostParameter hostParameterOf(const tds::RpcParameter& parameter, const CodePageText& text);
// An RPC of the procedure by name: positional or named values.
CallParameters parametersOfRpc(const tds::RpcRequest& request, const CodePageText& text);

// A statement or declaration list sent as a value, as UTF-8; none when NULL
// or not text.
std::optional<std::string> textOf(const tds::RpcParameter& parameter, const CodePageText& text);
// "@a varchar(10), @b nvarchar(4000) OUTPUT" -> {"@a", "@b"} (lower case).
std::vector<std::string> declaredNames(std::string_view declarations);

using Variables = std::map<std::string, HostParameter>;  // by lower-case name
// all[first...] as the values of the declared variables, by position or by
// their own names. The text of the fault when they do not fit.
std::string bindValues(const std::vector<std::string>& declared, const std::vector<tds::RpcParameter>& all,
                       size_t first, const CodePageText& text, Variables& out);

// The values of an EXEC statement (the text after the procedure's name).
CallParameters parametersOfExec(std::string_view argumentsUtf8, const CodePageText& text,
                                const std::function<std::optional<HostParameter>(std::string_view)>& variable);
