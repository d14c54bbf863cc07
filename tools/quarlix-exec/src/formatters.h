// The output formats of quarlix-exec. Each is a writer that takes the sent
// events one by one, as they arrive, so that an answer is shown without being
// kept; the write* functions run one over a whole call record.
#pragma once

#include "call_record.h"
#include "options.h"

#include <iosfwd>
#include <memory>
#include <string>

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void write(const SentEvent& event) = 0;
  // After the last event: what the procedure returned.
  virtual void finish(int returnValue) = 0;
};

// Like sqlcmd: headers, dashes, rows, "(N rows affected)" ("(1 row affected)"), messages on out.
std::unique_ptr<RecordWriter> tableWriter(std::ostream& out);
// RFC 4180 rows; messages on err.
std::unique_ptr<RecordWriter> csvWriter(std::ostream& out, std::ostream& err);
// One JSON object: the first error, else the first result set. Kept until
// finish(), since an error anywhere wins.
std::unique_ptr<RecordWriter> jsonWriter(std::ostream& out);
// One JSON object per line for every describe, row, message and done.
std::unique_ptr<RecordWriter> eventsWriter(std::ostream& out);

std::unique_ptr<RecordWriter> makeWriter(OutputFormat format, std::ostream& out, std::ostream& err);

void writeRecord(OutputFormat format, const CallRecord& record, std::ostream& out, std::ostream& err);
void writeTable(const CallRecord& record, std::ostream& out);
void writeCsv(const CallRecord& record, std::ostream& out, std::ostream& err);
void writeJson(const CallRecord& record, std::ostream& out);
void writeEvents(const CallRecord& record, std::ostream& out);

// The formats that show result sets: a writer that groups as a client does.
class SectionWriter : public RecordWriter, protected SectionReader {
 public:
  void write(const SentEvent& event) override { read(event); }
  void finish(int) override { end(); }
};

// Shared by the formats that show cells as text.
// "Msg 20001, Level 16, State 1, Procedure quarlix, Line 0" and the text
// for an error, the bare text for information; each ends with a newline.
void writeMessage(std::ostream& out, const Message& message);
// NULL as "NULL" (or nullText), binary columns as 0x and upper-case hex,
// text as its bytes. Cells past the described columns count as text.
std::string cellText(const ResultSet& set, size_t column, const opends::Cell& cell, const char* nullText = "NULL");
