// Faults a stress run arms around single calls, read from a file: one a
// line, either "OPERATION HRESULT [SKIP]" (an ADSI operation as
// adsi_compat.h names it fails with HRESULT after SKIP calls that still
// succeed) or "allocations N" (the calling thread's BSTR and SAFEARRAY
// allocations fail after N more). "--" starts a comment line.
#pragma once

#include <string>
#include <vector>

struct InjectedFault {
  std::string operation;  // empty: an allocation limit
  long result = 0;
  long skip = 0;  // for an allocation limit: the allocations that succeed

  std::string describe() const;
  // Process-wide for ADSI faults: only while one call runs at a time.
  void arm() const;
  static void disarmAll();
};

bool readFaults(const std::string& path, std::vector<InjectedFault>& faults, std::string& error);
