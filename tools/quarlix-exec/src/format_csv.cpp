#include "formatters.h"

#include <ostream>

namespace {

// RFC 4180: quote a field holding a comma, quote or line break, doubling
// quotes. The empty text is quoted too, so that it differs from NULL.
void appendCsvField(std::string& line, const std::string& text, bool isNull) {
  if (isNull) return;
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos) {
    line += text;
    return;
  }
  line += '"';
  for (char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

class CsvWriter : public SectionWriter {
 public:
  CsvWriter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

 protected:
  void setStarted(const ResultSet& set) override {
    shown_ = false;
    if (set.columns.empty()) return;  // shown at its first row, if it has one
    show();
    line_.clear();
    for (size_t i = 0; i < set.columns.size(); ++i) {
      if (i) line_ += ',';
      appendCsvField(line_, set.columns[i].name, false);
    }
    writeLine();
  }

  void setRow(const ResultSet& set, const Row& row) override {
    if (!shown_) show();
    line_.clear();
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) line_ += ',';
      if (row[i]) appendCsvField(line_, cellText(set, i, row[i]), false);
    }
    writeLine();
  }

  void setEnded(const ResultSet&) override {}
  void messageSent(const Message& message) override { writeMessage(err_, message); }

 private:
  // A blank line between result sets; one with neither columns nor rows is
  // not shown at all.
  void show() {
    if (!first_) out_ << "\r\n";
    first_ = false;
    shown_ = true;
  }
  void writeLine() {
    line_ += "\r\n";
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string line_;
  bool first_ = true;
  bool shown_ = false;
};

}  // namespace

std::unique_ptr<RecordWriter> csvWriter(std::ostream& out, std::ostream& err) {
  return std::make_unique<CsvWriter>(out, err);
}
