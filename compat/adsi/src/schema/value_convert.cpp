#include "schema/value_convert.h"

#include <cstdlib>
#include <limits>

#include "text.h"

namespace adsi {
namespace {

bool readDigits(std::string_view s, size_t& i, int count, int& value) {
  value = 0;
  for (int k = 0; k < count; ++k, ++i) {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

unsigned daysInMonth(int y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "<count>:<rest>" of the DN-with-binary and DN-with-string forms.
bool readCount(std::string_view s, size_t& i, size_t& count) {
  size_t start = i;
  count = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 9)
    count = count * 10 + static_cast<size_t>(s[i++] - '0');
  return i > start && i < s.size() && s[i++] == ':';
}

bool parseDnWithBinary(std::string_view raw, TypedValue& out) {
  size_t i = 2, count = 0;
  if (raw.size() < 2 || (raw[0] != 'B' && raw[0] != 'b') || raw[1] != ':' || !readCount(raw, i, count) ||
      count % 2 != 0 || i + count >= raw.size() || raw[i + count] != ':')
    return false;
  for (size_t k = 0; k < count; k += 2) {
    int hi = hexDigit(raw[i + k]), lo = hexDigit(raw[i + k + 1]);
    if (hi < 0 || lo < 0) return false;
    out.bytes += static_cast<char>(hi * 16 + lo);
  }
  out.dn = utf8ToUtf16(raw.substr(i + count + 1));
  return true;
}

bool parseDnWithString(std::string_view raw, TypedValue& out) {
  size_t i = 2, count = 0;
  if (raw.size() < 2 || (raw[0] != 'S' && raw[0] != 's') || raw[1] != ':' || !readCount(raw, i, count) ||
      i + count >= raw.size() || raw[i + count] != ':')
    return false;
  out.text = utf8ToUtf16(raw.substr(i, count));
  out.dn = utf8ToUtf16(raw.substr(i + count + 1));
  return true;
}

}  // namespace

bool parseInteger(std::string_view raw, int64_t& out) {
  if (raw.empty() || raw.size() > 20) return false;
  size_t i = raw[0] == '-' || raw[0] == '+' ? 1 : 0;
  if (i == raw.size()) return false;
  uint64_t magnitude = 0;
  for (; i < raw.size(); ++i) {
    if (raw[i] < '0' || raw[i] > '9') return false;
    uint64_t next = magnitude * 10 + static_cast<uint64_t>(raw[i] - '0');
    if (next / 10 != magnitude) return false;
    magnitude = next;
  }
  if (raw[0] == '-') {
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1) return false;
    out = static_cast<int64_t>(0 - magnitude);
  } else {
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    out = static_cast<int64_t>(magnitude);
  }
  return true;
}

int64_t secondsSinceEpoch(const SYSTEMTIME& t) {
  return daysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

bool parseDirectoryTime(std::string_view s, SYSTEMTIME& out) {
  size_t digits = 0;
  while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
  // Generalized Time has a four-digit year and at least the hour (10
  // digits); UTC Time a two-digit year and at least the minute. The lengths
  // overlap: 10 and 12 digits are read as UTC Time, which is what directories
  // write with those lengths.
  bool utcTime = digits == 10 || digits == 12;
  size_t i = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
  if (utcTime) {
    if (!readDigits(s, i, 2, year)) return false;
    year += year < 50 ? 2000 : 1900;
  } else if (!readDigits(s, i, 4, year)) {
    return false;
  }
  if (!readDigits(s, i, 2, month) || !readDigits(s, i, 2, day) || !readDigits(s, i, 2, hour)) return false;
  if (i < digits && !readDigits(s, i, 2, minute)) return false;
  if (i < digits && !readDigits(s, i, 2, second)) return false;
  if (i != digits) return false;
  if (!utcTime && i < s.size() && (s[i] == '.' || s[i] == ',')) {
    ++i;
    int scale = 100, fraction = 0;
    size_t start = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      fraction += (s[i] - '0') * scale;
      scale /= 10;
    }
    if (i == start) return false;
    millis = fraction;
  }
  int offsetMinutes = 0;
  if (i < s.size() && s[i] == 'Z') {
    ++i;
  } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    int sign = s[i++] == '-' ? -1 : 1, oh = 0, om = 0;
    if (!readDigits(s, i, 2, oh)) return false;
    if (i < s.size() && !readDigits(s, i, 2, om)) return false;
    if (oh > 23 || om > 59) return false;
    offsetMinutes = sign * (oh * 60 + om);
  } else if (utcTime || i < s.size()) {
    return false;  // UTC Time needs its zone; nothing may follow
  }
  if (i != s.size()) return false;
  if (month < 1 || month > 12 || day < 1 ||
      static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month)) || hour > 23 || minute > 59 ||
      second > 60)
    return false;
  if (second == 60) second = 59;  // a leap second, as Windows has none
  int64_t total = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 1440 + hour * 60 +
                  minute - offsetMinutes;
  int64_t days = total >= 0 ? total / 1440 : (total - 1439) / 1440;
  int64_t minutes = total - days * 1440;
  int y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  if (y < 1601 || y > 30827) return false;
  out.wYear = static_cast<WORD>(y);
  out.wMonth = static_cast<WORD>(m);
  out.wDay = static_cast<WORD>(d);
  out.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  out.wHour = static_cast<WORD>(minutes / 60);
  out.wMinute = static_cast<WORD>(minutes % 60);
  out.wSecond = static_cast<WORD>(second);
  out.wMilliseconds = static_cast<WORD>(millis);
  return true;
}

ADSTYPE typeOfValues(ADSTYPE declared, const std::vector<std::string>& values) {
  if (declared != ADSTYPE_INTEGER) return declared;
  for (const std::string& raw : values) {
    int64_t v;
    if (parseInteger(raw, v) && (v < INT32_MIN || v > INT32_MAX)) return ADSTYPE_LARGE_INTEGER;
  }
  return declared;
}

bool takenAsIs(ADSTYPE type) {
  switch (type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_PROV_SPECIFIC: return true;
    default: return false;
  }
}

bool convertValue(ADSTYPE type, std::string_view raw, TypedValue& out) {
  out = TypedValue();
  out.type = type;
  switch (type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING: out.text = utf8ToUtf16(raw); return true;
    case ADSTYPE_BOOLEAN:
      if (equalsIgnoreCase(raw, "TRUE"))
        out.number = 1;
      else if (equalsIgnoreCase(raw, "FALSE"))
        out.number = 0;
      else
        return false;
      return true;
    case ADSTYPE_INTEGER: {
      int64_t v;
      if (!parseInteger(raw, v) || v < INT32_MIN || v > INT32_MAX) return false;
      out.number = v;
      return true;
    }
    case ADSTYPE_LARGE_INTEGER: return parseInteger(raw, out.number);
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_PROV_SPECIFIC: out.bytes.assign(raw.data(), raw.size()); return true;
    case ADSTYPE_UTC_TIME: return parseDirectoryTime(raw, out.time);
    case ADSTYPE_DN_WITH_BINARY: return parseDnWithBinary(raw, out);
    case ADSTYPE_DN_WITH_STRING: return parseDnWithString(raw, out);
    default: return false;
  }
}

}  // namespace adsi
