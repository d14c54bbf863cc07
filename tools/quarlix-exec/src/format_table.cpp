#include "formatters.h"

#include "utf8.h"

#include <algorithm>
#include <ostream>

namespace {

// Display widths are capped: a 4000-byte column would make every line huge.
constexpr size_t kMaxWidth = 256;

size_t columnWidth(const ColumnInfo &column) {
  size_t declared = column.maxLength > 0 ? static_cast<size_t>(column.maxLength) : 0;
  if (isBinaryType(column.type)) declared = 2 + 2 * declared;  // 0x and two digits a byte
  declared = std::min(declared, kMaxWidth);
  return std::max({declared, displayWidth(column.name), sizeof("NULL") - 1});
}

void writeLine(std::ostream &out, const std::vector<std::string> &fields, const std::vector<size_t> &widths) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ' ';
    line += fields[i];
    size_t shown = displayWidth(fields[i]);
    if (i + 1 < fields.size() && i < widths.size() && shown < widths[i]) line.append(widths[i] - shown, ' ');
  }
  out << line << '\n';
}

void writeResultSet(std::ostream &out, const ResultSet &set) {
  std::vector<size_t> widths;
  std::vector<std::string> headers;
  std::vector<std::string> dashes;
  for (const ColumnInfo &column : set.columns) {
    widths.push_back(columnWidth(column));
    headers.push_back(column.name);
    dashes.emplace_back(widths.back(), '-');
  }
  if (!set.columns.empty()) {
    writeLine(out, headers, widths);
    writeLine(out, dashes, widths);
  }
  for (const Row &row : set.rows) {
    std::vector<std::string> fields;
    for (size_t i = 0; i < row.size(); ++i) fields.push_back(cellText(set, i, row[i]));
    writeLine(out, fields, widths);
  }
  if (set.count) {
    if (!set.columns.empty() || !set.rows.empty()) out << '\n';
    out << '(' << *set.count << " rows affected)\n";
  }
}

}  // namespace

void writeTable(const CallRecord &record, std::ostream &out) {
  for (const Section &section : sections(record)) {
    if (const auto *set = std::get_if<ResultSet>(&section))
      writeResultSet(out, *set);
    else
      writeMessage(out, std::get<Message>(section));
  }
}
