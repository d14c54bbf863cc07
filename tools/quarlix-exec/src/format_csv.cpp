#include "formatters.h"

#include <ostream>

namespace {

// RFC 4180: quote a field holding a comma, quote or line break, doubling
// quotes. The empty text is quoted too, so that it differs from NULL.
std::string csvField(const std::string &text, bool isNull) {
  if (isNull) return std::string();
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void writeRecordLine(std::ostream &out, const std::vector<std::string> &fields) {
  for (size_t i = 0; i < fields.size(); ++i) out << (i ? "," : "") << fields[i];
  out << "\r\n";
}

}  // namespace

void writeCsv(const CallRecord &record, std::ostream &out, std::ostream &err) {
  bool first = true;
  for (const Section &section : sections(record)) {
    const auto *set = std::get_if<ResultSet>(&section);
    if (!set) {
      writeMessage(err, std::get<Message>(section));
      continue;
    }
    if (set->columns.empty() && set->rows.empty()) continue;
    if (!first) out << "\r\n";  // a blank line between result sets
    first = false;
    std::vector<std::string> fields;
    for (const ColumnInfo &column : set->columns) fields.push_back(csvField(column.name, false));
    if (!fields.empty()) writeRecordLine(out, fields);
    for (const Row &row : set->rows) {
      fields.clear();
      for (size_t i = 0; i < row.size(); ++i) fields.push_back(csvField(cellText(*set, i, row[i]), !row[i]));
      writeRecordLine(out, fields);
    }
  }
}
