#include "environment_setup.h"

#ifdef _WIN32

EnvironmentSetup::~EnvironmentSetup() = default;

bool EnvironmentSetup::apply(const Options &options, const std::string &, std::string &error) {
  if (!options.usesStandIns()) return true;
  error = "--directory, --no-directory, --fault and --codepage exist only in the Linux build; "
          "on Windows the procedure uses the system's ADSI and code page";
  return false;
}

#else

#include "adsi_compat.h"
#include "library_loader.h"
#include "win32_compat.h"

#include <cstdio>

EnvironmentSetup::~EnvironmentSetup() {
  if (faulted_) AdsCompatClearFaults();
  if (mounted_) AdsCompatUnmount();
}

bool EnvironmentSetup::apply(const Options &options, const std::string &executableDirectory, std::string &error) {
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
  if (!ldif.empty()) {
    char reason[512] = "";
    HRESULT hr = AdsCompatMountLdif(ldif.c_str(), reason, sizeof reason);
    if (hr < 0) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
      error = "cannot mount the directory " + ldif + ": " + (reason[0] ? std::string(reason) : std::string(code));
      return false;
    }
    mounted_ = true;
  }

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
