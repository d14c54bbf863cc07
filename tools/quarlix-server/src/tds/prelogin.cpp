#include "tds/prelogin.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"

#include <vector>

namespace tds {

PreloginRequest parsePrelogin(std::string_view payload) {
  PreloginRequest request;
  ByteReader options(payload);
  bool sawVersion = false;
  for (int count = 0;; ++count) {
    if (count > 64) throw ProtocolError("PRELOGIN has too many options");
    std::uint8_t token = options.u8("the PRELOGIN options");
    if (token == kPreloginTerminator) break;
    std::uint16_t offset = options.u16be("a PRELOGIN option");
    std::uint16_t length = options.u16be("a PRELOGIN option");
    if (static_cast<size_t>(offset) + length > payload.size())
      throw ProtocolError("a PRELOGIN option lies outside the message");
    std::string_view value = payload.substr(offset, length);
    if (token == kPreloginVersion) {
      if (length < 6) throw ProtocolError("PRELOGIN version is too short");
      sawVersion = true;
    } else if (token == kPreloginEncryption) {
      if (length < 1) throw ProtocolError("PRELOGIN encryption is empty");
      request.encryption = static_cast<std::uint8_t>(value[0]);
    }
  }
  if (!sawVersion) throw ProtocolError("PRELOGIN without a version");
  return request;
}

std::string buildPreloginResponse(std::uint8_t encryption, std::uint32_t threadId) {
  struct Option {
    std::uint8_t token;
    std::string value;
  };
  const std::vector<Option> options = {
      {kPreloginVersion, std::string("\x01\x00\x00\x00\x00\x00", 6)},
      {kPreloginEncryption, std::string(1, static_cast<char>(encryption))},
      {kPreloginInstance, std::string(1, '\0')},
      {kPreloginThreadId, std::string{static_cast<char>(threadId >> 24), static_cast<char>(threadId >> 16),
                                      static_cast<char>(threadId >> 8), static_cast<char>(threadId)}},
      {kPreloginMars, std::string(1, '\0')},
  };
  std::string head, body;
  const size_t headSize = options.size() * 5 + 1;
  for (const Option& o : options) {
    const size_t offset = headSize + body.size();
    head += static_cast<char>(o.token);
    head += static_cast<char>(offset >> 8);
    head += static_cast<char>(offset & 0xFF);
    head += static_cast<char>(o.value.size() >> 8);
    head += static_cast<char>(o.value.size() & 0xFF);
    body += o.value;
  }
  head += static_cast<char>(kPreloginTerminator);
  return head + body;
}

EncryptionChoice chooseEncryption(std::optional<std::uint8_t> offered, bool haveCertificate) {
  const std::uint8_t client = offered.value_or(kEncryptOff);
  EncryptionChoice choice;
  if (!haveCertificate) {
    choice.answer = kEncryptNotSupported;
    // A client that insists on encryption cannot go on.
    choice.refuse = client == kEncryptOn || client == kEncryptRequired;
    return choice;
  }
  if (client == kEncryptNotSupported) {
    choice.answer = kEncryptRequired;
    choice.refuse = true;
    return choice;
  }
  // Off from the client would mean the login alone; the server requires all.
  choice.answer = client == kEncryptOff ? kEncryptRequired : kEncryptOn;
  choice.tls = true;
  return choice;
}

}  // namespace tds
