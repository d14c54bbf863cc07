// Transactions as statements and as transaction-manager requests. They hold
// nothing (the procedure only reads); they are counted so that clients that
// begin, commit and roll back see a server that answers as theirs do:
// @@TRANCOUNT, the ENVCHANGEs of TDS 7.2 and later, errors 3902 and 3903
// when there is nothing to end, two levels for BEGIN TRAN in implicit
// transaction mode.
#pragma once

#include "sql/session_state.h"
#include "tds/answer_writer.h"

#include <cstdint>
#include <string_view>

class Transactions {
 public:
  Transactions(SessionState& state, tds::AnswerWriter& writer, std::uint32_t version)
      : state_(state), writer_(writer), version_(version) {}

  void begin();
  // False after writing error 3902 or 3903 (at `line`) when none is open.
  bool end(bool commit, std::uint32_t line);

  // A transaction-manager request (packet type 14), answered whole.
  void runRequest(std::string_view payload);

 private:
  SessionState& state_;
  tds::AnswerWriter& writer_;
  std::uint32_t version_;
};
