// The operations a fault can be armed on: every name faults::check is asked
// about, so that a misspelt name is refused instead of never firing.
#pragma once

#include <string>
#include <vector>

namespace adsi::faults {

// In a fixed order: the plain operations, the odd values, then
// "<Object>::QueryInterface(<Interface>)" for every object and interface.
const std::vector<std::string>& knownOperations();

bool isKnownOperation(const std::string& name);

}  // namespace adsi::faults
