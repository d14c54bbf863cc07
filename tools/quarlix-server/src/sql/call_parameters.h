// A request's values as the procedure's parameters, with the types a server
// hands an extended procedure: varchar and char in their long forms; nvarchar
// and nchar (what most drivers send for a string, and N'...' written in a
// statement) as varchar and char in the code page when every character
// converts exactly, else as they came (the procedure's own check answers);
// NULL of any of them as NULL varchar or char.
#pragma once

#include "answer/code_page_text.h"
#include "host_parameter.h"
#include "tds/rpc_request.h"
#include "tsql/exec_binding.h"
#include "tsql/statements.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// The type the procedure sees for a value the client sent as `wireType`.
BYTE procedureTypeOf(std::uint8_t wireType);

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

using Variables = std::map<std::string, HostParameter>;  // by "@name" in lower case

// all[first...] as the values of the declared variables, by position or by
// their own names. The text of the fault when they do not fit.
std::string bindValues(const tsql::Declarations& declared, const std::vector<tds::RpcParameter>& all, size_t first,
                       const CodePageText& text, Variables& out);

// How an EXEC's values become parameters in this server: 'text' in the code
// page, N'text' as an nvarchar value would, variables from `variables`.
tsql::BindingRules execBindingRules(const CodePageText& text, const Variables* variables);
