// What the procedure sent during its call, in order, as the formatters read
// it. Failed srv_* calls sent nothing and are left out (--trace shows them).
#pragma once

#include "opends_host.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

struct ColumnInfo {
  int number = 0;
  std::string name;
  int type = 0;
  long maxLength = 0;
};

using Row = std::vector<opends::Cell>;

struct Message {
  int type = 0;
  long number = 0;
  int severity = 0;
  int state = 0;
  std::optional<std::string> procedure;  // as the procedure named itself
  int line = 0;
  std::string text;

  // Severity 11 and above is an error; below, information.
  bool isError() const { return severity > 10; }
};

struct Done {
  int status = 0;
  long count = 0;

  bool hasCount() const { return (status & SRV_DONE_COUNT) != 0; }
};

using SentEvent = std::variant<ColumnInfo, Row, Message, Done>;

struct CallRecord {
  std::vector<SentEvent> sent;
  int returnValue = 0;
};

CallRecord readCallRecord(const opends::Connection &connection, int returnValue);

// Binary column types show their cells as hex.
bool isBinaryType(int type);

// The record grouped the way a client shows it: result sets and messages.
struct ResultSet {
  std::vector<ColumnInfo> columns;
  std::vector<Row> rows;
  std::optional<long> count;  // from a done that carried one
};

using Section = std::variant<ResultSet, Message>;

std::vector<Section> sections(const CallRecord &record);
