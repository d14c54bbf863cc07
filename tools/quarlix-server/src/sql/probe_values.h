// The values of what SELECT may ask for: constants, the @@ variables clients
// probe at connect, DB_NAME(), SUSER_SNAME() and SERVERPROPERTY(...), typed
// as a server types them.
#pragma once

#include "answer/code_page_text.h"
#include "tds/constant_result.h"
#include "sql/statement_grammar.h"

#include <cstdint>
#include <stdexcept>
#include <string>

struct ProbeContext {
  const CodePageText* text = nullptr;
  std::string serverName;      // UTF-8
  std::string productVersion;  // "1.0.0"
  std::string versionText;     // @@VERSION
  std::string user;            // the login
  std::uint16_t spid = 0;
  int tranCount = 0;
  std::int32_t textSize = 0;
};

// A value the server cannot give (a number too large): the text for the client.
class ProbeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

tds::ConstantValue probeValue(const sql::Expression& expression, const ProbeContext& context);
