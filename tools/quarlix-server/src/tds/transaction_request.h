// A transaction-manager request (packet type 14): begin, commit, rollback
// or save a transaction by the protocol instead of by statement.
#pragma once

#include <cstdint>
#include <string_view>

namespace tds {

struct TransactionRequest {
  enum class Kind { Begin, Commit, Rollback, Save, Other };
  Kind kind = Kind::Other;
  std::uint16_t type = 0;   // the request type as sent
  bool beginAfter = false;  // a commit or rollback that begins a new transaction
};

// Raises ProtocolError for a malformed request.
TransactionRequest parseTransactionRequest(std::string_view payload, std::uint32_t version);

}  // namespace tds
