// Calls of the procedure, the way a server makes them: load the library,
// check __GetXpVersion, then per call hand the parameters to a connection
// and call quarlix.
#pragma once

#include "host_parameter.h"
#include "library_loader.h"
#include "opends_host.hpp"

#include <memory>
#include <string>
#include <vector>

// The loaded library whose interface version was checked; safe to call from
// many threads at once (each call on its own connection).
class ProcedureEntry {
 public:
  // Null with a one-line reason when the library cannot be loaded, lacks an
  // export or reports another interface version.
  static std::unique_ptr<ProcedureEntry> open(const std::string& libraryPath, std::string& error);

  // False with a one-line reason when a parameter cannot be handed over;
  // otherwise `returnValue` is what quarlix returned and `connection` holds
  // the record.
  bool call(const std::vector<HostParameter>& parameters, opends::Connection& connection, int& returnValue,
            std::string& error) const;

 private:
  using ProcedureFunction = int(__cdecl*)(SRV_PROC*);
  ProcedureEntry(std::unique_ptr<ProcedureLibrary> library, ProcedureFunction procedure)
      : library_(std::move(library)), procedure_(procedure) {}

  std::unique_ptr<ProcedureLibrary> library_;
  ProcedureFunction procedure_;
};

// open, then one call.
bool callProcedure(const std::string& libraryPath, const std::vector<HostParameter>& parameters,
                   opends::Connection& connection, int& returnValue, std::string& error);
