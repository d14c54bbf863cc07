#include "formatters.h"

#include "utf8.h"

#include <algorithm>
#include <memory>
#include <ostream>

namespace {

// Display widths are capped: a 4000-byte column would make every line huge.
constexpr size_t kMaxWidth = 256;

size_t columnWidth(const DescribedColumn& column) {
  size_t declared = column.maxLength > 0 ? static_cast<size_t>(column.maxLength) : 0;
  if (isBinaryType(column.type)) declared = 2 + 2 * declared;  // 0x and two digits a byte
  declared = std::min(declared, kMaxWidth);
  return std::max({declared, displayWidth(column.name), sizeof("NULL") - 1});
}

void writeLine(std::ostream& out, const std::vector<std::string>& fields, const std::vector<size_t>& widths) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ' ';
    line += fields[i];
    size_t shown = displayWidth(fields[i]);
    if (i + 1 < fields.size() && i < widths.size() && shown < widths[i]) line.append(widths[i] - shown, ' ');
  }
  out << line << '\n';
}

class TableWriter : public SectionWriter {
 public:
  explicit TableWriter(std::ostream& out) : out_(out) {}

 protected:
  void setStarted(const ResultSet& set) override {
    widths_.clear();
    std::vector<std::string> headers;
    std::vector<std::string> dashes;
    for (const DescribedColumn& column : set.columns) {
      widths_.push_back(columnWidth(column));
      headers.push_back(column.name);
      dashes.emplace_back(widths_.back(), '-');
    }
    if (!set.columns.empty()) {
      writeLine(out_, headers, widths_);
      writeLine(out_, dashes, widths_);
    }
  }

  void setRow(const ResultSet& set, const Row& row) override {
    fields_.clear();
    for (size_t i = 0; i < row.size(); ++i) fields_.push_back(cellText(set, i, row[i]));
    writeLine(out_, fields_, widths_);
  }

  void setEnded(const ResultSet& set) override {
    if (!set.count) return;
    if (!set.columns.empty() || set.rowCount > 0) out_ << '\n';
    out_ << '(' << *set.count << (*set.count == 1 ? " row affected)\n" : " rows affected)\n");
  }

  void messageSent(const Message& message) override { writeMessage(out_, message); }

 private:
  std::ostream& out_;
  std::vector<size_t> widths_;
  std::vector<std::string> fields_;
};

}  // namespace

std::unique_ptr<RecordWriter> tableWriter(std::ostream& out) { return std::make_unique<TableWriter>(out); }
