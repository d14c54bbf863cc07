#include "injected_faults.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "adsi_compat.h"
#include "win32_compat.h"

namespace {

bool knownOperation(const std::string& name) {
  for (size_t i = 0; const char* known = AdsCompatFaultOperation(i); ++i)
    if (name == known) return true;
  return false;
}

}  // namespace

std::string InjectedFault::describe() const {
  if (operation.empty()) return "allocations fail after " + std::to_string(skip);
  char result[16];
  std::snprintf(result, sizeof result, "0x%08lX", static_cast<unsigned long>(this->result) & 0xFFFFFFFFul);
  return operation + " returns " + result + " after " + std::to_string(skip);
}

void InjectedFault::arm() const {
  if (operation.empty())
    Win32CompatFailAllocationsAfter(skip);
  else
    AdsCompatSetFaultAfter(operation.c_str(), static_cast<HRESULT>(result), skip);
}

void InjectedFault::disarmAll() {
  Win32CompatFailAllocationsAfter(-1);
  AdsCompatClearFaults();
}

bool readFaults(const std::string& path, std::vector<InjectedFault>& faults, std::string& error) {
  std::ifstream file(path);
  if (!file) return error = path + ": cannot open the file", false;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first.rfind("--", 0) == 0) continue;
    InjectedFault fault;
    std::string value;
    bool ok;
    if (first == "allocations") {
      ok = static_cast<bool>(words >> fault.skip);
    } else {
      fault.operation = first;
      ok = static_cast<bool>(words >> value);
      if (ok) {
        size_t used = 0;
        try {
          fault.result = static_cast<long>(std::stoul(value, &used, 0));
        } catch (...) {
          used = 0;
        }
        ok = used == value.size();
        if (!(words >> fault.skip)) fault.skip = 0;
      }
    }
    if (!ok)
      return error = path + ":" + std::to_string(number) + ": expected OPERATION HRESULT [SKIP] or allocations N",
             false;
    if (!fault.operation.empty() && !knownOperation(fault.operation))
      return error = path + ":" + std::to_string(number) + ": no fault operation is named " + fault.operation, false;
    faults.push_back(fault);
  }
  return true;
}
