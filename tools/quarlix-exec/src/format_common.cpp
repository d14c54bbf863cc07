#include "formatters.h"

#include "json_text.h"

#include <ostream>

void writeMessage(std::ostream& out, const Message& message) {
  if (message.isError())
    out << "Msg " << message.number << ", Level " << message.severity << ", State " << message.state << ", Procedure "
        << message.procedure.value_or("quarlix") << ", Line " << message.line << '\n';
  out << message.text << '\n';
}

std::string cellText(const ResultSet& set, size_t column, const opends::Cell& cell, const char* nullText) {
  if (!cell) return nullText;
  if (column < set.columns.size() && isBinaryType(set.columns[column].type)) return "0x" + hexBytes(*cell, true);
  return *cell;
}

std::unique_ptr<RecordWriter> makeWriter(OutputFormat format, std::ostream& out, std::ostream& err) {
  switch (format) {
    case OutputFormat::Csv: return csvWriter(out, err);
    case OutputFormat::Json: return jsonWriter(out);
    case OutputFormat::Events: return eventsWriter(out);
    case OutputFormat::Table: break;
  }
  return tableWriter(out);
}

void writeRecord(OutputFormat format, const CallRecord& record, std::ostream& out, std::ostream& err) {
  std::unique_ptr<RecordWriter> writer = makeWriter(format, out, err);
  for (const SentEvent& event : record.sent) writer->write(event);
  writer->finish(record.returnValue);
}

void writeTable(const CallRecord& record, std::ostream& out) { writeRecord(OutputFormat::Table, record, out, out); }
void writeCsv(const CallRecord& record, std::ostream& out, std::ostream& err) {
  writeRecord(OutputFormat::Csv, record, out, err);
}
void writeJson(const CallRecord& record, std::ostream& out) { writeRecord(OutputFormat::Json, record, out, out); }
void writeEvents(const CallRecord& record, std::ostream& out) { writeRecord(OutputFormat::Events, record, out, out); }
