// A request's values as the procedure's parameters, with the types a server
// hands an extended procedure: varchar and char in their long forms,
// nvarchar as nvarchar (the procedure's own check answers for it).
#pragma once

#include "code_page_text.h"
#include "host_parameter.h"
#include "rpc_request.h"

#include <optional>
#include <string>
#include <vector>

// The type the procedure sees for a value the client sent as `wireType`.
BYTE procedureTypeOf(std::uint8_t wireType);

// The procedure names a client may call: quarlix, master..quarlix and
// master.dbo.quarlix, in any case.
bool namesTheProcedure(std::string_view name);
bool namesExecuteSql(const tds::RpcRequest &request);

struct CallParameters {
  std::vector<HostParameter> parameters;
  std::string error;  // when not empty: the text for the client instead of a call
};

// An RPC of the procedure by name: positional or named values.
CallParameters parametersOfRpc(const tds::RpcRequest &request);
// An SQL batch that is one EXEC of the procedure.
CallParameters parametersOfBatch(std::string_view utf8, const CodePageText &text);
// sp_executesql: its statement must be one EXEC of the procedure, whose
// values may be the declared variables.
CallParameters parametersOfExecuteSql(const tds::RpcRequest &request, const CodePageText &text);
