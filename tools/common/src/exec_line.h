// The T-SQL line of -Q: [EXEC|EXECUTE] [master..|master.dbo.]quarlix
// followed by comma-separated values, positional first, then @name = value.
// Values: '...' ('' for a quote) as varchar with the bytes as written,
// N'...' as nvarchar (UTF-16LE of the UTF-8 text), NULL. Bare numbers,
// variables and DEFAULT are refused: the procedure takes only text.
#pragma once

#include "host_parameter.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ExecLineError {
  size_t column = 0;  // 1-based, in characters of the line
  std::string reason;
};

struct ParsedExecLine {
  std::vector<HostParameter> parameters;
  std::optional<ExecLineError> error;
};

ParsedExecLine parseExecLine(std::string_view line);

// "column 12: expected ..."
std::string describe(const ExecLineError &error);
