// Packets into messages: the 8-byte header is checked (a length shorter than
// the header or longer than the agreed packet size is refused) and the
// payloads of one message are joined until end-of-message, up to a limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tds {

struct PacketHeader {
  std::uint8_t type = 0;
  std::uint8_t status = 0;
  std::uint16_t length = 0;  // header included
};

// Raises ProtocolError for a length outside 8..maxPacketSize.
PacketHeader parseHeader(std::string_view eightBytes, std::uint32_t maxPacketSize);

struct Message {
  std::uint8_t type = 0;
  std::string payload;
};

class MessageAssembler {
 public:
  explicit MessageAssembler(size_t maxMessageSize) : maxMessageSize_(maxMessageSize) {}

  // Adds one packet's payload. True when it ended the message, which is then
  // in `message()`. Raises ProtocolError when a packet of another type comes
  // inside a message or the message grows beyond the limit. An attention
  // packet inside a message abandons it and is itself a whole message.
  bool add(const PacketHeader& header, std::string_view payload);
  Message& message() { return message_; }
  bool inMessage() const { return started_; }

 private:
  size_t maxMessageSize_;
  Message message_;
  bool started_ = false;
};

}  // namespace tds
