// The output formats of quarlix-exec, each writing a whole call record.
#pragma once

#include "call_record.h"
#include "options.h"

#include <iosfwd>
#include <string>

// Like sqlcmd: headers, dashes, rows, "(N rows affected)", messages on out.
void writeTable(const CallRecord &record, std::ostream &out);
// RFC 4180 rows; messages on err.
void writeCsv(const CallRecord &record, std::ostream &out, std::ostream &err);
// One JSON object: the first error, else the first result set.
void writeJson(const CallRecord &record, std::ostream &out);
// One JSON object per line for every describe, row, message and done.
void writeEvents(const CallRecord &record, std::ostream &out);

void writeRecord(OutputFormat format, const CallRecord &record, std::ostream &out, std::ostream &err);

// Shared by the formats that show cells as text.
// "Msg 20001, Level 16, State 1, Procedure quarlix, Line 0" and the text
// for an error, the bare text for information; each ends with a newline.
void writeMessage(std::ostream &out, const Message &message);
// NULL as "NULL" (or nullText), binary columns as 0x and upper-case hex,
// text as its bytes. Cells past the described columns count as text.
std::string cellText(const ResultSet &set, size_t column, const opends::Cell &cell, const char *nullText = "NULL");
