#include "formatters.h"

#include "json_text.h"

#include <ostream>

namespace {

std::string errorObject(const Message& message) {
  std::string json = "{\"error\":{\"number\":" + std::to_string(message.number) +
                     ",\"severity\":" + std::to_string(message.severity) +
                     ",\"state\":" + std::to_string(message.state) + ",\"text\":";
  appendJsonString(json, message.text, InvalidUtf8::EscapeByte);
  return json + "}}";
}

void appendColumns(std::string& json, const ResultSet& set) {
  json += "{\"columns\":[";
  for (size_t i = 0; i < set.columns.size(); ++i) {
    const DescribedColumn& column = set.columns[i];
    json += i ? ",{\"name\":" : "{\"name\":";
    appendJsonString(json, column.name, InvalidUtf8::EscapeByte);
    json += ",\"type\":" + std::to_string(column.type) + ",\"maxlen\":" + std::to_string(column.maxLength) + "}";
  }
  json += "],\"rows\":[";
}

// The first result set is built as it arrives and shown at the end, unless an
// error came: then only the first error is shown.
class JsonWriter : public SectionWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  void finish(int returnValue) override {
    SectionWriter::finish(returnValue);
    if (error_) {
      out_ << *error_ << '\n';
      return;
    }
    if (state_ == First::Pending) appendColumns(result_, ResultSet{});
    if (state_ != First::Done) result_ += "],\"count\":0}";
    out_ << result_ << '\n';
  }

 protected:
  void setStarted(const ResultSet& set) override {
    if (state_ != First::Pending) return;
    state_ = First::Open;
    appendColumns(result_, set);
  }

  void setRow(const ResultSet& set, const Row& row) override {
    if (state_ != First::Open || error_) return;
    result_ += set.rowCount > 1 ? ",[" : "[";
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) result_ += ',';
      if (row[i])
        appendJsonString(result_, cellText(set, i, row[i]), InvalidUtf8::EscapeByte);
      else
        result_ += "null";
    }
    result_ += ']';
  }

  void setEnded(const ResultSet& set) override {
    if (state_ != First::Open) return;
    state_ = First::Done;
    long count = set.count.value_or(static_cast<long>(set.rowCount));
    result_ += "],\"count\":" + std::to_string(count) + "}";
  }

  void messageSent(const Message& message) override {
    if (message.isError() && !error_) {
      error_ = errorObject(message);
      result_.clear();  // no longer shown
      result_.shrink_to_fit();
    }
  }

 private:
  enum class First { Pending, Open, Done };

  std::ostream& out_;
  std::optional<std::string> error_;
  std::string result_;
  First state_ = First::Pending;
};

}  // namespace

std::unique_ptr<RecordWriter> jsonWriter(std::ostream& out) { return std::make_unique<JsonWriter>(out); }
