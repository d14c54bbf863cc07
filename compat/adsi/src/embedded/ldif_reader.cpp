#include "embedded/ldif_reader.h"

#include "text.h"

namespace adsi {
namespace {

struct LogicalLine {
  std::string text;
  size_t number;  // of its first physical line
};

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ';' ||
         c == '.' || c == '_';
}

class Reader {
 public:
  Reader(std::string_view text, const std::string& source) : text_(text), source_(source) {}

  bool run(std::vector<LdifRecord>& records, std::string& error) {
    std::vector<LogicalLine> record;
    size_t physical = 0;
    bool inComment = false;
    size_t pos = 0;
    while (pos <= text_.size()) {
      size_t end = text_.find('\n', pos);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view line = text_.substr(pos, end - pos);
      bool last = end == text_.size();
      pos = end + 1;
      ++physical;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (last && line.empty()) break;
      if (line.empty()) {
        inComment = false;
        if (!record.empty() && !finishRecord(record, records, error)) return false;
        record.clear();
        continue;
      }
      if (line[0] == ' ') {  // folded: continues the line above
        if (inComment) continue;
        if (record.empty()) return fail(error, physical, "continuation line without a line to continue");
        record.back().text.append(line.substr(1));
        continue;
      }
      inComment = line[0] == '#';
      if (inComment) continue;
      record.push_back({std::string(line), physical});
    }
    if (!record.empty() && !finishRecord(record, records, error)) return false;
    return true;
  }

 private:
  bool fail(std::string& error, size_t line, const std::string& reason) {
    error = source_ + ":" + std::to_string(line) + ": " + reason;
    return false;
  }

  // name ":" value | name "::" base64 | name ":<" url
  bool splitLine(const LogicalLine& l, std::string& name, std::string& value, std::string& error) {
    size_t colon = l.text.find(':');
    if (colon == std::string::npos) return fail(error, l.number, "missing ':' after the attribute name");
    name = l.text.substr(0, colon);
    if (name.empty()) return fail(error, l.number, "missing attribute name");
    for (char c : name)
      if (!isNameChar(c)) return fail(error, l.number, "invalid attribute name '" + name + "'");
    std::string_view rest = std::string_view(l.text).substr(colon + 1);
    if (!rest.empty() && rest[0] == ':') {
      rest.remove_prefix(1);
      while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
      if (!decodeBase64(rest, value)) return fail(error, l.number, "invalid base64 value of '" + name + "'");
      return true;
    }
    if (!rest.empty() && rest[0] == '<')
      return fail(error, l.number, "values read from URLs are not supported ('" + name + "')");
    while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    value.assign(rest);
    return true;
  }

  bool finishRecord(std::vector<LogicalLine>& lines, std::vector<LdifRecord>& records, std::string& error) {
    size_t first = 0;
    std::string name, value;
    if (!splitLine(lines[0], name, value, error)) return false;
    if (records.empty() && !sawVersion_ && equalsIgnoreCase(name, "version")) {
      sawVersion_ = true;
      if (value != "1") return fail(error, lines[0].number, "unsupported LDIF version '" + value + "'");
      if (lines.size() == 1) return true;
      first = 1;
      if (!splitLine(lines[1], name, value, error)) return false;
    }
    if (!equalsIgnoreCase(name, "dn")) return fail(error, lines[first].number, "a record must begin with 'dn:'");
    LdifRecord record;
    record.dn = value;
    record.line = lines[first].number;
    for (size_t i = first + 1; i < lines.size(); ++i) {
      if (!splitLine(lines[i], name, value, error)) return false;
      if (equalsIgnoreCase(name, "changetype") || equalsIgnoreCase(name, "control"))
        return fail(error, lines[i].number, "change records are not supported");
      if (equalsIgnoreCase(name, "dn"))
        return fail(error, lines[i].number, "a second 'dn:' in one record (missing blank line?)");
      record.values.emplace_back(std::move(name), std::move(value));
      record.valueLines.push_back(lines[i].number);
    }
    records.push_back(std::move(record));
    return true;
  }

  std::string_view text_;
  const std::string& source_;
  bool sawVersion_ = false;
};

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool decodeBase64(std::string_view in, std::string& out) {
  out.clear();
  while (!in.empty() && in.back() == ' ') in.remove_suffix(1);
  if (in.size() % 4 != 0) return false;
  for (size_t i = 0; i < in.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = in[i + k];
      if (c == '=' && i + 4 == in.size() && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad) return false;  // data after padding
      v[k] = base64Value(c);
      if (v[k] < 0) return false;
    }
    unsigned triple = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>((triple >> 16) & 0xFF);
    if (pad < 2) out += static_cast<char>((triple >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(triple & 0xFF);
  }
  return true;
}

bool readLdif(std::string_view text, const std::string& source, std::vector<LdifRecord>& records, std::string& error) {
  records.clear();
  return Reader(text, source).run(records, error);
}

}  // namespace adsi
