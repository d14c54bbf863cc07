#include "tds/rpc_request.h"

#include "tds/tds_constants.h"
#include "utf8.h"

namespace tds {

namespace {

void skipAllHeaders(ByteReader& reader, std::uint32_t version) {
  if (!atLeast72(version)) return;
  std::uint32_t total = reader.u32("ALL_HEADERS");
  if (total < 4 || total - 4 > reader.remaining()) throw ProtocolError("ALL_HEADERS length is wrong");
  reader.skip(total - 4, "ALL_HEADERS");
}

// A value in chunks: the total length (or unknown, or NULL), then chunks
// each with its length, ending with an empty one.
std::optional<std::string> readPartiallyLengthPrefixed(ByteReader& reader) {
  std::uint64_t total = reader.u64("a long value");
  if (total == 0xFFFFFFFFFFFFFFFFull) return std::nullopt;
  std::string value;
  while (true) {
    std::uint32_t chunk = reader.u32("a long value");
    if (chunk == 0) break;
    std::string_view bytes = reader.take(chunk, "a long value");
    value.append(bytes.data(), bytes.size());
  }
  if (total != 0xFFFFFFFFFFFFFFFEull && total != value.size())
    throw ProtocolError("a long value's chunks disagree with its length");
  return value;
}

size_t fixedLength(std::uint8_t type) {
  switch (type) {
    case 0x1F: return 0;  // NULL
    case 0x30:
    case 0x32: return 1;  // tinyint, bit
    case 0x34: return 2;  // smallint
    case 0x38:
    case 0x3B:
    case 0x3A:
    case 0x7A: return 4;  // int, real, smalldatetime, smallmoney
    case 0x7F:
    case 0x3E:
    case 0x3D:
    case 0x3C: return 8;  // bigint, float, datetime, money
    default: return SIZE_MAX;
  }
}

std::optional<std::string> readValue(ByteReader& reader, std::uint8_t type) {
  auto shortLength = [&reader](bool collation) -> std::optional<std::string> {
    std::uint16_t maxLength = reader.u16("a parameter's type");
    if (collation) reader.skip(5, "a parameter's collation");
    if (maxLength == 0xFFFF) return readPartiallyLengthPrefixed(reader);
    std::uint16_t length = reader.u16("a parameter");
    if (length == 0xFFFF) return std::nullopt;
    return std::string(reader.take(length, "a parameter"));
  };
  auto longLength = [&reader](bool collation) -> std::optional<std::string> {
    reader.u32("a parameter's type");
    if (collation) reader.skip(5, "a parameter's collation");
    std::uint32_t length = reader.u32("a parameter");
    if (length == 0xFFFFFFFF) return std::nullopt;
    return std::string(reader.take(length, "a parameter"));
  };
  switch (type) {
    case kTypeBigVarChar:
    case kTypeBigChar:
    case kTypeNVarChar:
    case kTypeNChar: return shortLength(true);
    case kTypeBigVarBinary:
    case kTypeBigBinary: return shortLength(false);
    case kTypeText:
    case kTypeNText: return longLength(true);
    case kTypeImage: return longLength(false);
    case 0x26:
    case 0x68:
    case 0x6D:
    case 0x6E:
    case 0x6F:
    case 0x24: {  // nullable numbers, GUID
      reader.u8("a parameter's type");
      std::uint8_t length = reader.u8("a parameter");
      if (length == 0) return std::nullopt;
      return std::string(reader.take(length, "a parameter"));
    }
    default: {
      size_t length = fixedLength(type);
      if (length == SIZE_MAX) {
        char text[64];
        std::snprintf(text, sizeof text, "parameters of type 0x%02X are not accepted", type);
        throw UnsupportedRequest(text);
      }
      if (type == 0x1F) return std::nullopt;
      return std::string(reader.take(length, "a parameter"));
    }
  }
}

}  // namespace

RpcRequest parseRpcRequest(std::string_view payload, std::uint32_t version) {
  ByteReader reader(payload);
  skipAllHeaders(reader, version);
  RpcRequest request;
  std::uint16_t nameLength = reader.u16("the procedure name");
  if (nameLength == 0xFFFF)
    request.procId = reader.u16("the procedure number");
  else
    request.procedureName = utf16leToUtf8(reader.utf16(nameLength, "the procedure name"));
  reader.u16("the option flags");
  while (!reader.atEnd()) {
    std::uint8_t next = reader.take(1, "a parameter")[0];
    if (next == 0x80 || next == 0xFF || next == 0xFE) throw UnsupportedRequest("one procedure call per request");
    RpcParameter parameter;
    parameter.name = utf16leToUtf8(reader.utf16(next, "a parameter name"));
    reader.u8("a parameter's status");
    parameter.wireType = reader.u8("a parameter's type");
    parameter.value = readValue(reader, parameter.wireType);
    if (request.parameters.size() >= 256) throw UnsupportedRequest("too many parameters");
    request.parameters.push_back(std::move(parameter));
  }
  return request;
}

std::string parseSqlBatch(std::string_view payload, std::uint32_t version) {
  ByteReader reader(payload);
  skipAllHeaders(reader, version);
  return utf16leToUtf8(reader.take(reader.remaining(), "the batch"));
}

}  // namespace tds
