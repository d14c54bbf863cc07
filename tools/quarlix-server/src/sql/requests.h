// What a client asks for after login, each answered whole through the
// connection's writer: an SQL batch (read by the grammar, then run), an RPC
// (the procedure by name, or a system procedure of the catalog) and a
// transaction-manager request.
#pragma once

#include "sql/sql_session.h"
#include "tds/rpc_request.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sql {

class Requests {
 public:
  Requests(const ServerFacts& server, tds::AnswerWriter& writer, std::uint32_t version, std::uint16_t spid,
           std::string user);

  // Each returns false when the connection must close after the answer
  // (the client sent something other than an attention during it).
  bool runBatch(const std::string& utf8);
  bool runRpc(const tds::RpcRequest& request);
  void runTransactionRequest(std::string_view payload);
  // An answer of one error, for requests that cannot be read or served.
  void refuse(std::int32_t number, const std::string& utf8);

 private:
  bool runProcedure(const tds::RpcRequest& request);
  bool runSystemProcedure(std::uint16_t number, const tds::RpcRequest& request);

  SqlSession session_;
};

}  // namespace sql
