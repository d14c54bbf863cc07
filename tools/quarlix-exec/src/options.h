// The command line of quarlix-exec.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class OutputFormat { Table, Csv, Json, Events };

enum class DirectoryChoice {
  Default,  // the sample beside the executable, when it is there
  None,     // --no-directory
  File,     // --directory FILE
};

struct FaultOption {
  std::string operation;
  std::int32_t result = 0;
};

struct Options {
  bool help = false;
  bool version = false;
  bool trace = false;
  bool listFaults = false;  // --fault list
  std::optional<std::string> query;  // -Q
  std::vector<std::string> values;   // plain arguments: positional varchar values
  std::optional<std::string> library;
  OutputFormat format = OutputFormat::Table;
  DirectoryChoice directory = DirectoryChoice::Default;
  std::string directoryFile;
  std::vector<FaultOption> faults;
  std::optional<unsigned> codePage;

  // Any option that only the Linux stand-ins can honour.
  bool usesStandIns() const {
    return directory != DirectoryChoice::Default || !faults.empty() || codePage.has_value();
  }
};

// False with a one-line reason in `error` for a command line it cannot take.
bool parseOptions(const std::vector<std::string> &arguments, Options &options, std::string &error);

std::string usageText();
