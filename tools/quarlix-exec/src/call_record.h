// What the procedure sent during its call, in order, as the formatters read
// it. Failed srv_* calls sent nothing and are left out (--trace shows them).
#pragma once

#include "opends_host.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// A column as the procedure described it (srv_describe).
struct DescribedColumn {
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

using SentEvent = std::variant<DescribedColumn, Row, Message, Done>;

struct CallRecord {
  std::vector<SentEvent> sent;
  int returnValue = 0;
};

CallRecord readCallRecord(const opends::Connection& connection, int returnValue);

// Recorded event `index` as the formatters read it; nothing for a call that
// sent nothing.
std::optional<SentEvent> sentEventAt(const opends::Connection& connection, int index, const OdsEvent& event);

// Binary column types show their cells as hex.
bool isBinaryType(int type);

// The record grouped the way a client shows it: result sets and messages.
struct ResultSet {
  std::vector<DescribedColumn> columns;
  std::vector<Row> rows;      // only in sections(); a SectionReader sees them one by one
  size_t rowCount = 0;        // rows seen so far
  std::optional<long> count;  // from a done that carried one
};

using Section = std::variant<ResultSet, Message>;

std::vector<Section> sections(const CallRecord& record);

// The same grouping as the events arrive, so that an answer can be shown
// without being kept: read() each event in order, then end().
class SectionReader {
 public:
  virtual ~SectionReader() = default;
  void read(const SentEvent& event);
  void end();  // closes a result set still open

 protected:
  // A result set whose columns are complete: at its first row, or at its end
  // when it has none.
  virtual void setStarted(const ResultSet& set) = 0;
  virtual void setRow(const ResultSet& set, const Row& row) = 0;
  // `set.count` and `set.rowCount` are final.
  virtual void setEnded(const ResultSet& set) = 0;
  virtual void messageSent(const Message& message) = 0;

 private:
  void start();
  void close(std::optional<long> count);

  std::optional<ResultSet> open_;
  bool started_ = false;
};
