// One parameter as the host hands it to the procedure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct HostParameter {
  std::optional<std::string> name;   // "@adspath"; none for a positional one
  std::uint8_t type = 0x27;          // SRVVARCHAR, or 0xE7 (SRVNVARCHAR)
  std::optional<std::string> value;  // the exact bytes; none for SQL NULL
};
