#include "net/message_assembler.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"

namespace tds {

PacketHeader parseHeader(std::string_view eightBytes, std::uint32_t maxPacketSize) {
  ByteReader reader(eightBytes);
  PacketHeader header;
  header.type = reader.u8("a packet header");
  header.status = reader.u8("a packet header");
  header.length = reader.u16be("a packet header");
  if (header.length < kHeaderSize) throw ProtocolError("a packet is shorter than its header");
  if (header.length > maxPacketSize) throw ProtocolError("a packet is longer than the agreed packet size");
  return header;
}

bool MessageAssembler::add(const PacketHeader& header, std::string_view payload) {
  if (header.type == kAttention) {
    started_ = false;
    message_.type = kAttention;
    message_.payload.clear();
    return true;
  }
  if (!started_) {
    message_.type = header.type;
    message_.payload.clear();
    started_ = true;
  } else if (header.type != message_.type) {
    throw ProtocolError("a packet of another type came inside a message");
  }
  if (payload.size() > maxMessageSize_ - message_.payload.size())
    throw ProtocolError("a request is longer than this server accepts");
  message_.payload.append(payload.data(), payload.size());
  if (header.status & kEndOfMessage) {
    started_ = false;
    return true;
  }
  return false;
}

}  // namespace tds
