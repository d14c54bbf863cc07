#include "environment_setup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "adsi_compat.h"
#include "library_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "win32_compat.h"
#endif

// The controls of the directory stand-in: linked in on Linux, looked up in
// the module loaded on Windows.
struct DirectoryControls {
  decltype(&AdsCompatMountLdif) mountLdif = nullptr;
  decltype(&AdsCompatUnmount) unmount = nullptr;
  decltype(&AdsCompatSetFault) setFault = nullptr;
  decltype(&AdsCompatClearFaults) clearFaults = nullptr;
  decltype(&AdsCompatFaultOperation) faultOperation = nullptr;

  bool complete() const { return mountLdif && unmount && setFault && clearFaults && faultOperation; }
};

namespace {

#ifdef _WIN32
template <class Function>
void lookUp(HMODULE module, const char* name, Function& into) {
  into = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

DirectoryControls controlsOf(void* handle) {
  DirectoryControls controls;
  if (!handle) return controls;
  HMODULE module = reinterpret_cast<HMODULE>(handle);
  lookUp(module, "AdsCompatMountLdif", controls.mountLdif);
  lookUp(module, "AdsCompatUnmount", controls.unmount);
  lookUp(module, "AdsCompatSetFault", controls.setFault);
  lookUp(module, "AdsCompatClearFaults", controls.clearFaults);
  lookUp(module, "AdsCompatFaultOperation", controls.faultOperation);
  return controls;
}

std::string embeddedAdsiPath(const std::string& executableDirectory) {
  return joinPath(joinPath(executableDirectory, "embedded-adsi"), "activeds.dll");
}

// Loads the embedded store by its full path; null with a reason when it
// cannot be loaded or is not the embedded store.
HMODULE loadEmbeddedAdsi(const std::string& executableDirectory, std::string& error) {
  std::string dll = embeddedAdsiPath(executableDirectory);
  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) {
    error = "cannot load the embedded directory " + dll + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  if (!controlsOf(module).complete()) {
    FreeLibrary(module);
    error = dll + " is not the embedded directory: its controls are missing";
    return nullptr;
  }
  return module;
}
#else
DirectoryControls controlsOf(void*) {
  return DirectoryControls{&AdsCompatMountLdif, &AdsCompatUnmount, &AdsCompatSetFault, &AdsCompatClearFaults,
                           &AdsCompatFaultOperation};
}
#endif

std::vector<std::string> faultOperationsOf(const DirectoryControls& controls) {
  std::vector<std::string> names;
  if (!controls.faultOperation) return names;
  for (size_t i = 0; const char* name = controls.faultOperation(i); ++i) names.push_back(name);
  return names;
}

// The known operations on one line: "Object::QueryInterface(A|B|...)" for the
// many QueryInterface names of one object.
std::string describeKnown(const std::vector<std::string>& known) {
  const std::string query = "::QueryInterface(";
  std::string text, group;
  for (const std::string& name : known) {
    size_t at = name.find(query);
    if (at != std::string::npos && name.back() == ')') {
      std::string prefix = name.substr(0, at + query.size());
      std::string iid = name.substr(prefix.size(), name.size() - prefix.size() - 1);
      if (group.rfind(prefix, 0) == 0) {
        group += "|" + iid;
        continue;
      }
      if (!group.empty()) text += (text.empty() ? "" : ", ") + group + ")";
      group = prefix + iid;
      continue;
    }
    text += (text.empty() ? "" : ", ") + name;
  }
  if (!group.empty()) text += (text.empty() ? "" : ", ") + group + ")";
  return text;
}

}  // namespace

#ifdef _WIN32

std::vector<std::string> knownFaultOperations() {
  std::string error;
  HMODULE module = loadEmbeddedAdsi(executableDirectory(), error);
  if (!module) return {};
  std::vector<std::string> names = faultOperationsOf(controlsOf(module));
  FreeLibrary(module);
  return names;
}

std::string standInsMissing() {
  std::string error;
  HMODULE module = loadEmbeddedAdsi(executableDirectory(), error);
  if (module) FreeLibrary(module);
  return module ? "" : error;
}

#else

std::vector<std::string> knownFaultOperations() { return faultOperationsOf(controlsOf(nullptr)); }

std::string standInsMissing() { return ""; }

#endif

EnvironmentSetup::~EnvironmentSetup() {
  DirectoryControls controls = controlsOf(embeddedAdsi_);
  if (faulted_ && controls.clearFaults) controls.clearFaults();
  directory_.reset();
#ifdef _WIN32
  if (embeddedAdsi_) FreeLibrary(reinterpret_cast<HMODULE>(embeddedAdsi_));
#endif
}

bool EnvironmentSetup::mountAndArm(const std::string& ldif, const std::vector<FaultOption>& faults,
                                   std::string& error) {
  DirectoryControls controls = controlsOf(embeddedAdsi_);
  // Every name first: a misspelt one would otherwise arm nothing.
  const std::vector<std::string> known = faultOperationsOf(controls);
  for (const FaultOption& fault : faults) {
    if (std::find(known.begin(), known.end(), fault.operation) == known.end()) {
      error = "unknown --fault operation '" + fault.operation +
              "'; the known ones (--fault list prints one a line): " + describeKnown(known);
      return false;
    }
  }
  if (!ldif.empty()) {
    directory_ = std::make_unique<MountedDirectory>(controls.mountLdif, controls.unmount);
    if (!directory_->mount(ldif, error)) return false;
  }
  for (const FaultOption& fault : faults) {
    faulted_ = true;
    if (!controls.setFault(fault.operation.c_str(), fault.result)) {
      error = "the directory stand-in refused the fault '" + fault.operation + "'";
      return false;
    }
  }
  return true;
}

#ifdef _WIN32

bool EnvironmentSetup::apply(const Options& options, const std::string& executableDirectory, std::string& error) {
  if (options.codePage) {
    error = "--codepage exists only in the Linux build; on Windows the procedure uses the system's code page";
    return false;
  }
  if (options.directory != DirectoryChoice::File) {
    if (options.faults.empty()) return true;
    error = "--fault needs --directory FILE.ldif on Windows: faults are injected into the embedded store";
    return false;
  }
  // Loaded by its full path before the procedure library, whose imports of
  // ADSI then bind to it.
  HMODULE module = loadEmbeddedAdsi(executableDirectory, error);
  if (!module) return false;
  embeddedAdsi_ = module;
  return mountAndArm(options.directoryFile, options.faults, error);
}

#else

bool EnvironmentSetup::apply(const Options& options, const std::string& executableDirectory, std::string& error) {
  // The directory stand-in traces each LDAP operation it sends as well.
  if (options.trace) setenv("QUARLIX_ADSI_TRACE", "1", 1);
  if (options.codePage && !Win32CompatSetAnsiCodePage(*options.codePage)) {
    error = "code page " + std::to_string(*options.codePage) + " is not supported";
    return false;
  }
  if (!mountAndArm(directoryToMount(options, executableDirectory), options.faults, error)) return false;
  if (options.trace) std::fprintf(stderr, "quarlix-exec: %s\n", serverlessPathsLine().c_str());
  return true;
}

#endif
