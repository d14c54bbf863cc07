// Loading the procedure library by file name, as the server does: dlopen on
// Linux, LoadLibraryA on Windows. Also where this program lives, since the
// default library and sample sit beside it.
#pragma once

#include <memory>
#include <string>

class ProcedureLibrary {
 public:
  // Null with a one-line reason in `error` when the library cannot be loaded.
  static std::unique_ptr<ProcedureLibrary> load(const std::string& path, std::string& error);
  ~ProcedureLibrary();
  ProcedureLibrary(const ProcedureLibrary&) = delete;
  ProcedureLibrary& operator=(const ProcedureLibrary&) = delete;

  // The exported function of that name, or null.
  void* symbol(const char* name) const;

 private:
  explicit ProcedureLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The folder of the running executable, without a trailing separator; empty
// when it cannot be found.
std::string executableDirectory();

// libquarlix.so or quarlix.dll.
const char* defaultLibraryName();

std::string joinPath(const std::string& directory, const std::string& name);

bool fileExists(const std::string& path);
