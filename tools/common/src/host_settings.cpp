#include "host_settings.h"

#include "library_loader.h"

namespace {

// --directory FILE and --no-directory: one of them, once.
bool chooseDirectory(HostSettings& settings, DirectoryChoice choice, const std::string& file, std::string& error) {
  if (settings.directory != DirectoryChoice::Default) {
    error = "give one of --directory FILE or --no-directory, once";
    return false;
  }
  settings.directory = choice;
  settings.directoryFile = file;
  return true;
}

}  // namespace

void addHostSettings(OptionTable& table, HostSettings& settings, const HostSettingsHelp& help) {
  table.add(textOption("--library", "PATH", help.section,
                       "the procedure library (default: the one beside this program, libquarlix.so or quarlix.dll)",
                       settings.library));
  table.add(option("--directory", "FILE.ldif", help.section,
                   "mount this LDIF file as the embedded directory" + help.directoryNote, OptionKind::Text,
                   [&settings](const std::string& file, std::uint32_t, std::string& error) {
                     return chooseDirectory(settings, DirectoryChoice::File, file, error);
                   }));
  table.add(option("--no-directory", "", help.section,
                   "mount none: serverless paths use the LDAP configuration" + help.noDirectoryNote, OptionKind::Flag,
                   [&settings](const std::string&, std::uint32_t, std::string& error) {
                     return chooseDirectory(settings, DirectoryChoice::None, "", error);
                   }));
  // 0 is no code page of its own but "the process's ANSI code page" (CP_ACP)
  // to the platform's conversions: as the ANSI code page it means nothing.
  table.add(numberOption("--codepage", "N", help.section,
                         "the ANSI code page of the procedure's text" + help.codePageNote, 1, 65535,
                         settings.codePage));
}

void addProgramOptions(OptionTable& table, HostSettings& settings, const std::string& section) {
  table.add(flagOption("--version", section, "print the version and exit", settings.version));
  HostOption help = flagOption("--help", section, "print this help and exit", settings.help);
  help.shortName = "-h";
  table.add(std::move(help));
}

std::string directoryToMount(const HostSettings& settings, const std::string& executableDirectory) {
  if (settings.directory == DirectoryChoice::File) return settings.directoryFile;
  if (settings.directory == DirectoryChoice::None) return std::string();
  std::string sample = joinPath(joinPath(executableDirectory, "samples"), "corp.ldif");
  return fileExists(sample) ? sample : std::string();
}

std::string libraryToLoad(const HostSettings& settings, const std::string& executableDirectory) {
  return settings.library.value_or(joinPath(executableDirectory, defaultLibraryName()));
}
