// The command line of quarlix-exec.
#pragma once

#include "host_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class OutputFormat { Table, Csv, Json, Events };

struct FaultOption {
  std::string operation;
  std::int32_t result = 0;
};

// The settings every host takes (library, directory, code page), then this
// host's own.
struct Options : HostSettings {
  bool trace = false;
  bool listFaults = false;           // --fault list
  std::optional<std::string> query;  // -Q
  std::vector<std::string> values;   // plain arguments: positional varchar values
  OutputFormat format = OutputFormat::Table;
  std::vector<FaultOption> faults;

  // Any option that only the Linux stand-ins can honour.
  bool usesStandIns() const { return directory != DirectoryChoice::Default || !faults.empty() || codePage.has_value(); }
};

// False with a one-line reason in `error` for a command line it cannot take.
bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

std::string usageText();
