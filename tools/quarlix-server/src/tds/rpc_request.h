// The requests a client sends after login: an SQL batch (its text) and an
// RPC request (a procedure by name or number and its parameters).
#pragma once

#include "tds/byte_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

struct RpcParameter {
  std::string name;                  // UTF-8, "@adspath"; empty when given by position
  std::uint8_t wireType = 0;         // the type the client sent
  std::optional<std::string> value;  // the value's bytes; none for NULL
};

struct RpcRequest {
  std::string procedureName;            // UTF-8; empty when given by number
  std::optional<std::uint16_t> procId;  // sp_executesql is 10
  std::vector<RpcParameter> parameters;
};

// Both raise ProtocolError for a malformed request. From version 7.2 on a
// request starts with ALL_HEADERS, which is skipped.
RpcRequest parseRpcRequest(std::string_view payload, std::uint32_t version);
// The batch text as UTF-8.
std::string parseSqlBatch(std::string_view payload, std::uint32_t version);

// An RPC whose parameters this server cannot read (types other than text,
// binary and the plain numbers) or that holds more than one call.
class UnsupportedRequest : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tds
