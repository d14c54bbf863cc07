// Where something is in a client's T-SQL text: its byte offset and its line,
// counted as a server counts them for its messages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsql {

struct Place {
  std::size_t offset = 0;  // bytes from the start of the text
  std::uint32_t line = 1;  // from 1
};

}  // namespace tsql
