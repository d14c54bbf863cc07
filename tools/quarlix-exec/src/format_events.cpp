#include "formatters.h"

#include "json_text.h"

#include <ostream>

namespace {

struct EventLine {
  std::string& json;

  void operator()(const DescribedColumn& column) const {
    json = "{\"event\":\"describe\",\"column\":" + std::to_string(column.number) + ",\"name\":";
    appendJsonString(json, column.name, InvalidUtf8::Replace);
    json += ",\"hex\":\"" + hexBytes(column.name, false) + "\"";
    json += ",\"type\":" + std::to_string(column.type) + ",\"maxlen\":" + std::to_string(column.maxLength) + "}";
  }

  void operator()(const Row& row) const {
    json = "{\"event\":\"row\",\"cells\":[";
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) json += ',';
      json += row[i] ? "\"" + hexBytes(*row[i], false) + "\"" : "null";
    }
    json += "]}";
  }

  void operator()(const Message& message) const {
    json = "{\"event\":\"message\",\"number\":" + std::to_string(message.number) +
           ",\"severity\":" + std::to_string(message.severity) + ",\"state\":" + std::to_string(message.state) +
           ",\"text\":";
    appendJsonString(json, message.text, InvalidUtf8::Replace);
    json += ",\"hex\":\"" + hexBytes(message.text, false) + "\"}";
  }

  void operator()(const Done& done) const {
    json = "{\"event\":\"done\",\"status\":" + std::to_string(done.status) +
           ",\"count\":" + std::to_string(done.count) + "}";
  }
};

class EventsWriter : public RecordWriter {
 public:
  explicit EventsWriter(std::ostream& out) : out_(out) {}

  void write(const SentEvent& event) override {
    std::visit(EventLine{json_}, event);
    out_ << json_ << '\n';
  }

  void finish(int returnValue) override { out_ << "{\"event\":\"return\",\"value\":" << returnValue << "}\n"; }

 private:
  std::ostream& out_;
  std::string json_;
};

}  // namespace

std::unique_ptr<RecordWriter> eventsWriter(std::ostream& out) { return std::make_unique<EventsWriter>(out); }
