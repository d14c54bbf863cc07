#include "procedure_call.h"

#include <cstdio>

namespace {

using GetXpVersionFunction = ULONG(__cdecl*)(void);

bool addParameters(const std::vector<HostParameter>& parameters, opends::Connection& connection, std::string& error) {
  for (const HostParameter& p : parameters) {
    const char* name = p.name ? p.name->c_str() : nullptr;
    bool added = p.value ? connection.addParam(name, p.type, *p.value) : connection.addNullParam(name, p.type);
    if (!added) {
      error = "parameter " + std::to_string(&p - parameters.data() + 1) + " cannot be passed (too long?)";
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<ProcedureEntry> ProcedureEntry::open(const std::string& libraryPath, std::string& error) {
  std::unique_ptr<ProcedureLibrary> library = ProcedureLibrary::load(libraryPath, error);
  if (!library) return nullptr;
  auto getXpVersion = reinterpret_cast<GetXpVersionFunction>(library->symbol("__GetXpVersion"));
  auto procedure = reinterpret_cast<ProcedureFunction>(library->symbol("quarlix"));
  if (!getXpVersion || !procedure) {
    error = libraryPath + " does not export " + (getXpVersion ? "quarlix" : "__GetXpVersion");
    return nullptr;
  }
  ULONG version = getXpVersion();
  if (version != ODS_VERSION) {
    char text[96];
    std::snprintf(text, sizeof text, " reports interface version 0x%08X; this host needs 0x%08X",
                  static_cast<unsigned>(version), static_cast<unsigned>(ODS_VERSION));
    error = libraryPath + text;
    return nullptr;
  }
  return std::unique_ptr<ProcedureEntry>(new ProcedureEntry(std::move(library), procedure));
}

bool ProcedureEntry::call(const std::vector<HostParameter>& parameters, opends::Connection& connection,
                          int& returnValue, std::string& error) const {
  if (!addParameters(parameters, connection, error)) return false;
  returnValue = procedure_(connection.get());
  return true;
}

bool callProcedure(const std::string& libraryPath, const std::vector<HostParameter>& parameters,
                   opends::Connection& connection, int& returnValue, std::string& error) {
  std::unique_ptr<ProcedureEntry> entry = ProcedureEntry::open(libraryPath, error);
  return entry && entry->call(parameters, connection, returnValue, error);
}
