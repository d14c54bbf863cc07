#include "tds/transaction_request.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"

namespace tds {

namespace {

constexpr std::uint16_t kBegin = 5, kCommit = 7, kRollback = 8, kSave = 9;

void skipName(ByteReader& reader) { reader.utf16(reader.u8("a transaction name"), "a transaction name"); }

}  // namespace

TransactionRequest parseTransactionRequest(std::string_view payload, std::uint32_t version) {
  ByteReader reader(payload);
  if (atLeast72(version)) {
    std::uint32_t total = reader.u32("ALL_HEADERS");
    if (total < 4 || total - 4 > reader.remaining()) throw ProtocolError("ALL_HEADERS length is wrong");
    reader.skip(total - 4, "ALL_HEADERS");
  }
  TransactionRequest request;
  request.type = reader.u16("the request type");
  switch (request.type) {
    case kBegin:
      request.kind = TransactionRequest::Kind::Begin;
      reader.u8("the isolation level");
      skipName(reader);
      break;
    case kCommit:
    case kRollback:
      request.kind = request.type == kCommit ? TransactionRequest::Kind::Commit : TransactionRequest::Kind::Rollback;
      skipName(reader);
      request.beginAfter = (reader.u8("the flags") & 0x01) != 0;
      if (request.beginAfter) {
        reader.u8("the isolation level");
        skipName(reader);
      }
      break;
    case kSave:
      request.kind = TransactionRequest::Kind::Save;
      skipName(reader);
      break;
    default: break;  // what follows is not read: the request is refused as a whole
  }
  return request;
}

}  // namespace tds
