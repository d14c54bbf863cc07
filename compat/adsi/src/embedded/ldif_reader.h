// Reads the content records of an LDIF file (RFC 2849).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adsi {

struct LdifRecord {
  std::string dn;
  size_t line = 0;  // where the record starts
  // In file order; a name may appear on several lines.
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<size_t> valueLines;
};

// Parses `text`; on failure returns false and sets `error` to
// "SOURCE:LINE: reason".
bool readLdif(std::string_view text, const std::string& source, std::vector<LdifRecord>& records, std::string& error);

// Standard base64 (RFC 4648); false on anything else.
bool decodeBase64(std::string_view in, std::string& out);

}  // namespace adsi
