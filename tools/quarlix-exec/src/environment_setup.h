// What the stand-ins need before the call: the ANSI code page, the embedded
// directory and injected faults. Undone when the holder goes.
// On Windows the platform's ADSI answers unless a directory is mounted: then
// the embedded store built for Windows (embedded-adsi\activeds.dll beside
// this program) is loaded first, so that the procedure's imports of ADSI bind
// to it. The code page is always the system's there.
#pragma once

#include "mounted_directory.h"
#include "options.h"

#include <memory>
#include <string>
#include <vector>

// The operations --fault can make fail, one name each (on Windows, those of
// the embedded store beside this program).
std::vector<std::string> knownFaultOperations();

// Why the options of the stand-ins cannot be used here; "" where they can.
std::string standInsMissing();

class EnvironmentSetup {
 public:
  EnvironmentSetup() = default;
  ~EnvironmentSetup();
  EnvironmentSetup(const EnvironmentSetup&) = delete;
  EnvironmentSetup& operator=(const EnvironmentSetup&) = delete;

  // False with a one-line reason when an option cannot be honoured.
  bool apply(const Options& options, const std::string& executableDirectory, std::string& error);

 private:
  bool mountAndArm(const std::string& ldif, const std::vector<FaultOption>& faults, std::string& error);

  void* embeddedAdsi_ = nullptr;                 // Windows: the stand-in's module, when loaded; freed last
  std::unique_ptr<MountedDirectory> directory_;  // unmounted after the faults are cleared
  bool faulted_ = false;
};
