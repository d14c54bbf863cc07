// The T-SQL of quarlix-exec -Q: one [EXEC|EXECUTE] of the procedure
// ([master..|master.dbo.|dbo.]quarlix) with its values, read by the grammar
// the server reads batches with. Values: '...' as varchar with the bytes as
// written, N'...' as nvarchar (UTF-16LE of the UTF-8 text), NULL; numbers,
// variables and DEFAULT are refused: the procedure takes only text. Comments
// and new lines may stand wherever white space may.
#pragma once

#include "host_parameter.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ExecQueryError {
  size_t column = 0;  // 1-based, in characters of the line
  std::string reason;
};

struct ParsedExecQuery {
  std::vector<HostParameter> parameters;
  std::optional<ExecQueryError> error;
};

ParsedExecQuery readExecQuery(std::string_view line);

// "column 12: expected ..."
std::string describe(const ExecQueryError& error);
