// What the statements of one connection run with: the server's procedure
// and code page, the connection's writer of answers, who logged in, and the
// state its statements change.
#pragma once

#include "answer/code_page_text.h"
#include "procedure_call.h"
#include "sql/catalog.h"
#include "sql/session_state.h"
#include "tds/answer_writer.h"

#include <cstdint>
#include <string>

namespace sql {

struct ServerFacts {
  const ProcedureEntry* procedure = nullptr;
  const CodePageText* text = nullptr;
  std::string serverName = "quarlix";
  std::string version = "1.0.0";  // quarlix-server's own
};

struct SqlSession {
  const ServerFacts& server;
  tds::AnswerWriter& writer;
  std::uint32_t version;  // the protocol's
  std::uint16_t spid;
  std::string user;
  SessionState state;

  // The facts values are made of, now.
  Facts facts() const {
    return Facts{
        server.text,    server.serverName, productVersion(), versionText(server.version), user, spid, state.tranCount,
        state.textSize, state.rowCount,    state.lastError};
  }
};

}  // namespace sql
