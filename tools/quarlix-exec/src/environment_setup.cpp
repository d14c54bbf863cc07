#include "environment_setup.h"

#ifdef _WIN32

std::vector<std::string> knownFaultOperations() { return {}; }

std::string standInsMissing() {
  return "--directory, --no-directory, --fault and --codepage exist only in the Linux build; "
         "on Windows the procedure uses the system's ADSI and code page";
}

EnvironmentSetup::~EnvironmentSetup() = default;

bool EnvironmentSetup::apply(const Options &options, const std::string &, std::string &error) {
  if (!options.usesStandIns()) return true;
  error = standInsMissing();
  return false;
}

#else

#include "adsi_compat.h"
#include "library_loader.h"
#include "win32_compat.h"

#include <algorithm>
#include <cstdio>

namespace {

// The known operations on one line: "Object::QueryInterface(A|B|...)" for the
// many QueryInterface names of one object.
std::string describeKnown(const std::vector<std::string> &known) {
  const std::string query = "::QueryInterface(";
  std::string text, group;
  for (const std::string &name : known) {
    size_t at = name.find(query);
    if (at != std::string::npos && name.back() == ')') {
      std::string prefix = name.substr(0, at + query.size());
      std::string interface = name.substr(prefix.size(), name.size() - prefix.size() - 1);
      if (group.rfind(prefix, 0) == 0) {
        group += "|" + interface;
        continue;
      }
      if (!group.empty()) text += (text.empty() ? "" : ", ") + group + ")";
      group = prefix + interface;
      continue;
    }
    text += (text.empty() ? "" : ", ") + name;
  }
  if (!group.empty()) text += (text.empty() ? "" : ", ") + group + ")";
  return text;
}

}  // namespace

std::vector<std::string> knownFaultOperations() {
  std::vector<std::string> names;
  for (size_t i = 0; const char *name = AdsCompatFaultOperation(i); ++i) names.push_back(name);
  return names;
}

std::string standInsMissing() { return ""; }

EnvironmentSetup::~EnvironmentSetup() {
  if (faulted_) AdsCompatClearFaults();
}

bool EnvironmentSetup::apply(const Options &options, const std::string &executableDirectory, std::string &error) {
  // Every name first: a misspelt one would otherwise arm nothing.
  const std::vector<std::string> known = knownFaultOperations();
  for (const FaultOption &fault : options.faults) {
    if (std::find(known.begin(), known.end(), fault.operation) == known.end()) {
      error = "unknown --fault operation '" + fault.operation + "'; the known ones (--fault list prints one a line): " +
              describeKnown(known);
      return false;
    }
  }
  if (options.codePage && !Win32CompatSetAnsiCodePage(*options.codePage)) {
    error = "code page " + std::to_string(*options.codePage) + " is not supported";
    return false;
  }

  std::string ldif;
  if (options.directory == DirectoryChoice::File) {
    ldif = options.directoryFile;
  } else if (options.directory == DirectoryChoice::Default) {
    std::string sample = joinPath(joinPath(executableDirectory, "samples"), "corp.ldif");
    if (fileExists(sample)) ldif = sample;
  }
  if (!ldif.empty() && !directory_.mount(ldif, error)) return false;

  for (const FaultOption &fault : options.faults) {
    faulted_ = true;
    if (!AdsCompatSetFault(fault.operation.c_str(), fault.result)) {
      error = "the directory stand-in refused the fault '" + fault.operation + "'";
      return false;
    }
  }
  return true;
}

#endif
