#include "options.h"

#include <cerrno>
#include <cstdlib>

namespace {

const char kParameters[] = "Parameters";
const char kOptions[] = "Options";

bool parseFormat(const std::string& text, OutputFormat& format) {
  if (text == "table")
    format = OutputFormat::Table;
  else if (text == "csv")
    format = OutputFormat::Csv;
  else if (text == "json")
    format = OutputFormat::Json;
  else if (text == "events")
    format = OutputFormat::Events;
  else
    return false;
  return true;
}

// OPERATION=HRESULT, the result hex (0x80004005) or decimal, negative allowed.
bool parseFault(const std::string& text, FaultOption& fault) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  std::string number = text.substr(equals + 1);
  bool negative = !number.empty() && number[0] == '-';
  if (negative) number.erase(0, 1);
  if (number.empty() || number[0] == '-' || number[0] == '+' || number[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long value = std::strtoull(number.c_str(), &end, 0);
  if (errno != 0 || !end || *end != '\0' || value > (negative ? 0x80000000ull : 0xFFFFFFFFull)) return false;
  fault.operation = text.substr(0, equals);
  fault.result = static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? 0 - value : value));
  return true;
}

// The table of quarlix-exec's options, storing into `options`.
OptionTable optionTable(Options& options) {
  OptionTable table("quarlix-exec", true);
  table.describe(kParameters, "VALUE...", "each one a varchar parameter, by position");
  HostOption query = textOption(
      "--query", "LINE", kParameters,
      "a T-SQL EXEC line: [EXEC|EXECUTE] [master..|master.dbo.]quarlix then values separated by commas, "
      "positional first, then @name = value. A value is 'text' ('' for a quote; varchar, the bytes as typed), "
      "N'text' (nvarchar, UTF-16LE of the UTF-8 text) or NULL. Bare numbers are refused: quote them. The "
      "procedure takes its parameters either all by position (@adspath, @filter, @field_names, @scope in that "
      "order) or by name: once any parameter is named @adspath, @filter, @field_names or @scope (any letter "
      "case), only those named count and @adspath must be one of them, so a positional value beside them "
      "answers \"Wrong parameters. \". A call that uses none of the four names is positional, whatever other "
      "@names its values carry.",
      options.query);
  query.shortName = "-Q";
  table.add(std::move(query));

  addHostSettings(table, options,
                  {kOptions,
                   " (on Windows: through embedded-adsi\\activeds.dll beside this program instead of the "
                   "system's ADSI)",
                   " (default on Linux: samples/corp.ldif beside this program, if present; on Windows: the "
                   "system's ADSI)",
                   " (Linux; default: the locale's)"});

  table.add(option("--format", "FORMAT", kOptions, "table (default), csv, json or events", OptionKind::Text,
                   [&options](const std::string& text, std::uint32_t, std::string& error) {
                     if (parseFormat(text, options.format)) return true;
                     error = "unknown --format '" + text + "'; expected table, csv, json or events";
                     return false;
                   }));

  HostOption fault = option(
      "--fault", "OP=HRESULT", kOptions,
      "make a directory operation fail (repeatable; on Windows with --directory); OP is an operation of the "
      "directory stand-in, such as IDirectorySearch::ExecuteSearch; unknown ones are refused. --fault list "
      "prints the operations it knows, one a line",
      OptionKind::Text, [&options](const std::string& text, std::uint32_t, std::string& error) {
        if (text == "list") return options.listFaults = true;
        FaultOption parsed;
        if (parseFault(text, parsed)) {
          options.faults.push_back(parsed);
          return true;
        }
        error = "--fault takes OPERATION=HRESULT (like IDirectorySearch::ExecuteSearch=0x80004005) or list, not '" +
                text + "'";
        return false;
      });
  fault.repeatable = true;
  table.add(std::move(fault));

  table.add(flagOption("--trace", kOptions,
                       "print every host call to stderr, and (Linux) each LDAP operation the directory stand-in "
                       "sends",
                       options.trace));
  addProgramOptions(table, options, kOptions);
  return table;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  if (!optionTable(options).parse(arguments, options.values, error)) return false;
  if (options.query && !options.values.empty()) {
    error = "give the parameters either with -Q or as plain arguments, not both";
    return false;
  }
  return true;
}

std::string usageText() {
  Options unused;
  return optionTable(unused).usage(
      R"(Usage: quarlix-exec [OPTIONS] [--] [VALUE...]
       quarlix-exec [OPTIONS] -Q "EXEC quarlix 'LDAP://...', @filter = '(cn=*)'"

Loads the procedure library the way a server does, calls quarlix once with
the parameters given and prints what it sent. An option's value follows it
as the next argument or after '=' (--format=csv).
)",
      R"(Formats:
  table   as sqlcmd shows it; NULL as NULL, binary as 0x and upper-case hex
  csv     RFC 4180 with CRLF line ends; NULL as an empty field, the empty text
          as ""; binary as 0x-hex; an error message goes to stderr
  json    {"columns":[...],"rows":[...],"count":N} or {"error":{...}}; NULL as
          null, binary as "0x..."; bytes that are not UTF-8 appear as \u00XX
          with the byte's value
  events  one JSON object per line for each describe, row, message, done, then
          the return value; the exact bytes in lower-case hex: cells as hex
          alone, column names and message texts as "hex" beside the readable
          "name" or "text" (where bytes that are not UTF-8 show as U+FFFD)

Exit status: 0 when the procedure returned 0, 1 when it returned anything
else, 2 when it could not be run (bad arguments, library missing or of the
wrong version, directory not mounted).
)");
}
