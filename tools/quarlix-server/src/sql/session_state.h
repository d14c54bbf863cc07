// What a connection's statements change and later statements see: SET
// options that have an effect here, the transaction count (transactions hold
// nothing, the procedure only reads, but clients expect them to nest and end
// as on a server), @@ROWCOUNT and @@ERROR, and the prepared statements.
#pragma once

#include "tsql/statements.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct PreparedStatement {
  tsql::Batch batch;
  tsql::Declarations declarations;
  std::string text;  // "(declarations)statement", as messages quote it
};

class PreparedStatements {
 public:
  // More would only hold memory a client forgot to release.
  static constexpr size_t kLimit = 1000;

  // The new handle; none when the connection holds kLimit already.
  std::optional<std::int32_t> add(PreparedStatement statement);
  const PreparedStatement* find(std::int32_t handle) const;
  bool remove(std::int32_t handle);

 private:
  std::map<std::int32_t, PreparedStatement> statements_;
  std::int32_t next_ = 1;
};

struct SessionState {
  bool noCount = false;
  bool formatOnly = false;
  bool implicitTransactions = false;
  std::int32_t textSize = 4096;
  int tranCount = 0;
  std::uint64_t transaction = 0;  // the open transaction's descriptor; 0: none
  std::uint64_t lastTransaction = 0;
  std::int64_t rowCount = 0;   // @@ROWCOUNT: of the statement before
  std::int32_t lastError = 0;  // @@ERROR: of the statement before
  PreparedStatements prepared;
};
