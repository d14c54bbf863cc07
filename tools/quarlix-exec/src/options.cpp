#include "options.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool parseFormat(const std::string &text, OutputFormat &format) {
  if (text == "table") format = OutputFormat::Table;
  else if (text == "csv") format = OutputFormat::Csv;
  else if (text == "json") format = OutputFormat::Json;
  else if (text == "events") format = OutputFormat::Events;
  else return false;
  return true;
}

// A whole unsigned number in the given range; "0x" selects hex with base 0.
bool parseUnsigned(const std::string &text, int base, unsigned long long maximum, unsigned long long &value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char *end = nullptr;
  value = std::strtoull(text.c_str(), &end, base);
  return errno == 0 && end && *end == '\0' && value <= maximum;
}

// OPERATION=HRESULT, the result hex (0x80004005) or decimal, negative allowed.
bool parseFault(const std::string &text, FaultOption &fault) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  std::string number = text.substr(equals + 1);
  bool negative = !number.empty() && number[0] == '-';
  if (negative) number.erase(0, 1);
  unsigned long long value = 0;
  if (!parseUnsigned(number, 0, negative ? 0x80000000ull : 0xFFFFFFFFull, value)) return false;
  fault.operation = text.substr(0, equals);
  fault.result = static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? 0 - value : value));
  return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string> &arguments, Options &options, std::string &error) {
  bool directorySet = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      options.values.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // --name=value, --name value, -Q value, -Qvalue
    std::string name = argument;
    std::optional<std::string> inlineValue;
    if (argument.rfind("--", 0) == 0) {
      size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        name = argument.substr(0, equals);
        inlineValue = argument.substr(equals + 1);
      }
    } else if (argument.rfind("-Q", 0) == 0 && argument.size() > 2) {
      name = "-Q";
      inlineValue = argument.substr(2);
    }
    auto takeValue = [&](std::string &value) {
      if (inlineValue) {
        value = *inlineValue;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        error = name + " needs a value";
        return false;
      }
      value = arguments[++i];
      return true;
    };
    auto noValue = [&] {
      if (inlineValue) error = name + " takes no value";
      return !inlineValue;
    };

    std::string value;
    if (name == "-h" || name == "--help") {
      if (!noValue()) return false;
      options.help = true;
    } else if (name == "--version") {
      if (!noValue()) return false;
      options.version = true;
    } else if (name == "--trace") {
      if (!noValue()) return false;
      options.trace = true;
    } else if (name == "-Q" || name == "--query") {
      if (!takeValue(value)) return false;
      if (options.query) {
        error = "-Q given twice";
        return false;
      }
      options.query = value;
    } else if (name == "--library") {
      if (!takeValue(value)) return false;
      if (value.empty()) {
        error = "--library needs a file name";
        return false;
      }
      options.library = value;
    } else if (name == "--format") {
      if (!takeValue(value)) return false;
      if (!parseFormat(value, options.format)) {
        error = "unknown --format '" + value + "'; expected table, csv, json or events";
        return false;
      }
    } else if (name == "--directory" || name == "--no-directory") {
      if (name == "--directory" ? !takeValue(value) : !noValue()) return false;
      if (directorySet) {
        error = "give one of --directory FILE or --no-directory, once";
        return false;
      }
      directorySet = true;
      options.directory = name == "--directory" ? DirectoryChoice::File : DirectoryChoice::None;
      options.directoryFile = value;
    } else if (name == "--fault") {
      if (!takeValue(value)) return false;
      if (value == "list") {
        options.listFaults = true;
        continue;
      }
      FaultOption fault;
      if (!parseFault(value, fault)) {
        error = "--fault takes OPERATION=HRESULT (like IDirectorySearch::ExecuteSearch=0x80004005) or list, not '" +
                value + "'";
        return false;
      }
      options.faults.push_back(fault);
    } else if (name == "--codepage") {
      if (!takeValue(value)) return false;
      unsigned long long codePage = 0;
      if (!parseUnsigned(value, 10, 65535, codePage)) {
        error = "--codepage takes a code page number such as 1252, not '" + value + "'";
        return false;
      }
      options.codePage = static_cast<unsigned>(codePage);
    } else {
      error = "unknown option " + name + " (see --help)";
      return false;
    }
  }
  if (options.query && !options.values.empty()) {
    error = "give the parameters either with -Q or as plain arguments, not both";
    return false;
  }
  return true;
}

std::string usageText() {
  return R"(Usage: quarlix-exec [OPTIONS] [--] [VALUE...]
       quarlix-exec [OPTIONS] -Q "EXEC quarlix 'LDAP://...', @filter = '(cn=*)'"

Loads the procedure library the way a server does, calls quarlix once with
the parameters given and prints what it sent.

Parameters:
  VALUE...               each one a varchar parameter, by position
  -Q, --query LINE       a T-SQL EXEC line: [EXEC|EXECUTE] [master..|master.dbo.]quarlix
                         then values separated by commas, positional first, then
                         @name = value. A value is 'text' ('' for a quote; varchar,
                         the bytes as typed), N'text' (nvarchar, UTF-16LE of the
                         UTF-8 text) or NULL. Bare numbers are refused: quote them.
                         The procedure takes its parameters either all by position
                         (@adspath, @filter, @field_names, @scope in that order) or
                         by name: once any parameter is named @adspath, @filter,
                         @field_names or @scope (any letter case), only those named
                         count and @adspath must be one of them, so a positional
                         value beside them answers "Wrong parameters. ". A call
                         that uses none of the four names is positional, whatever
                         other @names its values carry.

Options:
  --library PATH         the procedure library (default: the one beside this
                         program, libquarlix.so or quarlix.dll)
  --format FORMAT        table (default), csv, json or events
  --directory FILE.ldif  mount this LDIF file as the default directory (on
                         Windows: through embedded-adsi\activeds.dll beside this
                         program instead of the system's ADSI)
  --no-directory         mount none: serverless paths use the LDAP configuration
                         (default on Linux: samples/corp.ldif beside this program,
                         if present; on Windows: the system's ADSI)
  --fault OP=HRESULT     make a directory operation fail (repeatable; on Windows
                         with --directory);
                         OP is an operation of the directory stand-in, such as
                         IDirectorySearch::ExecuteSearch; unknown ones are refused
  --fault list           print the operations --fault knows, one a line
  --codepage N           ANSI code page of the procedure's text (Linux)
  --trace                print every host call to stderr, and (Linux) each LDAP
                         operation the directory stand-in sends
  --version, --help

Formats:
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
)";
}
