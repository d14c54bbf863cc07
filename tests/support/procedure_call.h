// Runs the procedure once, in-process, on a recording host connection, and
// gives back what the client would have received.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "opends_host.h"

extern "C" int quarlix(SRV_PROC* srvproc);
extern "C" ULONG __GetXpVersion();

struct Parameter {
  std::optional<std::string> name;  // none: positional
  BYTE type = SRVVARCHAR;
  std::optional<std::string> bytes;  // none: SQL NULL
};

Parameter value(std::string bytes);                    // positional varchar
Parameter named(std::string name, std::string bytes);  // named varchar
Parameter nullValue(std::optional<std::string> name = std::nullopt);

struct Column {
  std::string name;
  int type = 0;
  int maxLength = 0;
};

struct Message {
  int number = 0;
  int severity = 0;
  int state = 0;
  std::string text;
};

using Cell = std::optional<std::string>;  // none: SQL NULL

struct CallResult {
  int returned = -1;
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;
  std::vector<Message> messages;
  std::vector<std::pair<int, int>> dones;  // status, count

  // The one column of that name (fails the test when absent).
  size_t column(const std::string& name) const;
};

CallResult callProcedure(const std::vector<Parameter>& parameters);

// Shorthand for the usual call: positional varchar values.
CallResult callWith(const std::vector<std::string>& values);
