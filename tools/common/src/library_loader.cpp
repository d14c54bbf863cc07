#include "library_loader.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#ifdef _WIN32

std::unique_ptr<ProcedureLibrary> ProcedureLibrary::load(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return std::unique_ptr<ProcedureLibrary>(new ProcedureLibrary(reinterpret_cast<void*>(module)));
}

ProcedureLibrary::~ProcedureLibrary() { FreeLibrary(reinterpret_cast<HMODULE>(handle_)); }

void* ProcedureLibrary::symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

std::string executableDirectory() {
  char buffer[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  std::string path(buffer, length);
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

const char* defaultLibraryName() { return "quarlix.dll"; }

std::string joinPath(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "\\" + name;
}

#else

std::unique_ptr<ProcedureLibrary> ProcedureLibrary::load(const std::string& path, std::string& error) {
  // A bare file name means the file here, not a search of the library path.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
    return nullptr;
  }
  return std::unique_ptr<ProcedureLibrary>(new ProcedureLibrary(handle));
}

ProcedureLibrary::~ProcedureLibrary() { dlclose(handle_); }

void* ProcedureLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

std::string executableDirectory() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::string();
  std::string path(buffer, static_cast<size_t>(length));
  return path.substr(0, path.find_last_of('/'));
}

const char* defaultLibraryName() { return "libquarlix.so"; }

std::string joinPath(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "/" + name;
}

#endif

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}
