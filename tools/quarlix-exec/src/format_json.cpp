#include "formatters.h"

#include "json_text.h"

#include <ostream>

namespace {

std::string errorObject(const Message &message) {
  std::string json = "{\"error\":{\"number\":" + std::to_string(message.number) +
                     ",\"severity\":" + std::to_string(message.severity) + ",\"state\":" + std::to_string(message.state) +
                     ",\"text\":";
  appendJsonString(json, message.text, InvalidUtf8::EscapeByte);
  return json + "}}";
}

std::string resultObject(const ResultSet &set) {
  std::string json = "{\"columns\":[";
  for (size_t i = 0; i < set.columns.size(); ++i) {
    const ColumnInfo &column = set.columns[i];
    json += i ? ",{\"name\":" : "{\"name\":";
    appendJsonString(json, column.name, InvalidUtf8::EscapeByte);
    json += ",\"type\":" + std::to_string(column.type) + ",\"maxlen\":" + std::to_string(column.maxLength) + "}";
  }
  json += "],\"rows\":[";
  for (size_t r = 0; r < set.rows.size(); ++r) {
    json += r ? ",[" : "[";
    const Row &row = set.rows[r];
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) json += ',';
      if (row[i])
        appendJsonString(json, cellText(set, i, row[i]), InvalidUtf8::EscapeByte);
      else
        json += "null";
    }
    json += ']';
  }
  long count = set.count.value_or(static_cast<long>(set.rows.size()));
  return json + "],\"count\":" + std::to_string(count) + "}";
}

}  // namespace

void writeJson(const CallRecord &record, std::ostream &out) {
  std::vector<Section> all = sections(record);
  const ResultSet *first = nullptr;
  for (const Section &section : all) {
    if (const auto *message = std::get_if<Message>(&section)) {
      if (message->isError()) {
        out << errorObject(*message) << '\n';
        return;
      }
    } else if (!first) {
      first = &std::get<ResultSet>(section);
    }
  }
  out << resultObject(first ? *first : ResultSet{}) << '\n';
}
