// The T-SQL line of -Q: [EXEC|EXECUTE] [master..|master.dbo.]quarlix
// followed by comma-separated values, positional first, then @name = value.
// Values: '...' ('' for a quote) as varchar with the bytes as written,
// N'...' as nvarchar (UTF-16LE of the UTF-8 text), NULL. Bare numbers,
// variables and DEFAULT are refused: the procedure takes only text, unless
// the line comes with variables (a server's sp_executesql statement).
#pragma once

#include "host_parameter.h"

#include <functional>
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

// What a server adds to the line: values of variables, and how a '...'
// literal becomes bytes. Empty functions: variables are refused, literals
// are handed over as written.
struct ExecLineContext {
  // The parameter a @name value stands for; none when it is not declared.
  std::function<std::optional<HostParameter>(std::string_view name)> variable;
  // The bytes of a '...' literal from its UTF-8 text.
  std::function<std::string(std::string_view utf8)> varcharLiteral;
};

ParsedExecLine parseExecLine(std::string_view line);
ParsedExecLine parseExecLine(std::string_view line, const ExecLineContext& context);

// "column 12: expected ..."
std::string describe(const ExecLineError& error);
