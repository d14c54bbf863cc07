// The calls a stress program makes, read from catalogue files of EXEC lines
// as the command-line host takes them ("--" starts a comment line). ${NAME}
// in a line is replaced by a value the command line defines, so that one
// catalogue serves any directory: the embedded sample, or a slapd whose
// port a test chose.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "recorded_call.h"

struct CatalogueCall {
  std::string where;  // "FILE:LINE"
  std::string line;   // as written, with the names replaced
  std::vector<CallParameter> parameters;
};

using Defines = std::map<std::string, std::string>;

// Appends the calls of `path` to `calls`; false with "FILE:LINE: reason".
bool readCatalogue(const std::string& path, const Defines& defines, std::vector<CatalogueCall>& calls,
                   std::string& error);

// What every stress program takes: --ldif FILE (mounted as the embedded
// directory), --calls FILE (repeatable), --define NAME=VALUE (repeatable),
// --faults FILE (where the program arms faults), and --NAME NUMBER for each
// name in `numbers` (whose values are defaults).
struct StressOptions {
  std::string ldif;  // none: the calls name their servers
  std::string faults;
  std::vector<std::string> catalogues;
  Defines defines;
  std::map<std::string, long> numbers;
};

// Parses the options, mounts the LDIF and reads the catalogues. False with
// a reason (and the usage) when any of that fails.
bool prepareStress(int argc, char** argv, StressOptions& options, std::vector<CatalogueCall>& calls,
                   std::string& error);
