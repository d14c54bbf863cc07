// The system procedures of RPC requests that run statements or keep them:
// sp_executesql (a statement and its declared variables), sp_prepare and
// sp_prepexec (a statement kept under a handle, run at once by the latter),
// sp_execute (a kept statement) and sp_unprepare. Each turns its request into
// what the RPC's answer runs and ends with; none runs anything itself.
#pragma once

#include "sql/call_parameters.h"
#include "sql/sql_session.h"
#include "tds/rpc_request.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sql {

struct SystemCall {
  struct Refusal {
    std::int32_t number;
    std::string text;
  };
  std::optional<Refusal> refusal;  // the request is refused as a whole

  // The statements the answer runs (none for sp_prepare and sp_unprepare):
  // the request's own, or a kept statement's. A batch whose `error` is set
  // is answered with that error instead.
  std::optional<tsql::Batch> ownBatch;
  const tsql::Batch* keptBatch = nullptr;
  bool run = false;
  const tsql::Batch* batch() const { return ownBatch ? &*ownBatch : keptBatch; }
  Variables variables;
  std::vector<tds::IntOutput> outputs;  // sp_prepare's and sp_prepexec's handle
};

// `number`: the catalog's number of the procedure (10 sp_executesql ...).
SystemCall systemCall(std::uint16_t number, const tds::RpcRequest& request, SqlSession& session);

}  // namespace sql
