#include "formatters.h"

#include "json_text.h"

#include <ostream>

void writeMessage(std::ostream &out, const Message &message) {
  if (message.isError())
    out << "Msg " << message.number << ", Level " << message.severity << ", State " << message.state
        << ", Procedure " << message.procedure.value_or("quarlix") << ", Line " << message.line << '\n';
  out << message.text << '\n';
}

std::string cellText(const ResultSet &set, size_t column, const opends::Cell &cell, const char *nullText) {
  if (!cell) return nullText;
  if (column < set.columns.size() && isBinaryType(set.columns[column].type)) return "0x" + hexBytes(*cell, true);
  return *cell;
}

void writeRecord(OutputFormat format, const CallRecord &record, std::ostream &out, std::ostream &err) {
  switch (format) {
    case OutputFormat::Table: writeTable(record, out); break;
    case OutputFormat::Csv: writeCsv(record, out, err); break;
    case OutputFormat::Json: writeJson(record, out); break;
    case OutputFormat::Events: writeEvents(record, out); break;
  }
}
