// The settings every host program takes alike: the procedure library, the
// embedded directory, the ANSI code page, --help and --version. Each host
// adds these rows to its option table, then rows of its own.
#pragma once

#include "host_options.h"

#include <optional>
#include <string>

enum class DirectoryChoice {
  Default,  // the sample beside the executable, when it is there
  None,     // --no-directory
  File,     // --directory FILE
};

struct HostSettings {
  bool help = false;
  bool version = false;
  std::optional<std::string> library;
  DirectoryChoice directory = DirectoryChoice::Default;
  std::string directoryFile;
  std::optional<unsigned> codePage;
};

// What the host says of a setting beyond what every host says.
struct HostSettingsHelp {
  std::string section;          // the heading the rows go under
  std::string directoryNote;    // appended to --directory's help
  std::string noDirectoryNote;  // appended to --no-directory's help
  std::string codePageNote;     // appended to --codepage's help
};

// Library, directory and code page rows.
void addHostSettings(OptionTable& table, HostSettings& settings, const HostSettingsHelp& help);
// --version and --help, last in their section.
void addProgramOptions(OptionTable& table, HostSettings& settings, const std::string& section);

// The LDIF file to mount: --directory's, none after --no-directory, else
// samples/corp.ldif beside the program when it is there; "" for none.
std::string directoryToMount(const HostSettings& settings, const std::string& executableDirectory);

// --library's, else the library beside the program.
std::string libraryToLoad(const HostSettings& settings, const std::string& executableDirectory);
