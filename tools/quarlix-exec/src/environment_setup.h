// What the Linux stand-ins need before the call: the ANSI code page, the
// embedded directory and injected faults. Undone when the holder goes.
// The Windows build uses the real platform and refuses these options.
#pragma once

#include "options.h"

#ifndef _WIN32
#include "mounted_directory.h"
#endif

#include <string>
#include <vector>

// The operations --fault can make fail, one name each; none on Windows.
std::vector<std::string> knownFaultOperations();

// Why the options of the stand-ins cannot be used here; "" where they can.
std::string standInsMissing();

class EnvironmentSetup {
 public:
  EnvironmentSetup() = default;
  ~EnvironmentSetup();
  EnvironmentSetup(const EnvironmentSetup &) = delete;
  EnvironmentSetup &operator=(const EnvironmentSetup &) = delete;

  // False with a one-line reason when an option cannot be honoured.
  bool apply(const Options &options, const std::string &executableDirectory, std::string &error);

 private:
#ifndef _WIN32
  MountedDirectory directory_;  // unmounted after the faults are cleared
#endif
  bool faulted_ = false;
};
