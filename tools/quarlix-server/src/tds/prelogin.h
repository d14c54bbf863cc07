// The PRELOGIN exchange: what the client offers, and the server's answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tds {

struct PreloginRequest {
  std::optional<std::uint8_t> encryption;  // absent: the client did not say (treated as off)
};

// Raises ProtocolError for a message that is not a well-formed PRELOGIN.
PreloginRequest parsePrelogin(std::string_view payload);

std::string buildPreloginResponse(std::uint8_t encryption, std::uint32_t threadId);

// What the server answers to the client's choice, and whether TLS follows.
// With a certificate the whole connection is encrypted or the client is
// refused; without one there is no encryption.
struct EncryptionChoice {
  std::uint8_t answer = 0;
  bool tls = false;     // a TLS handshake follows the answer
  bool refuse = false;  // the client cannot go on: close after answering
};
EncryptionChoice chooseEncryption(std::optional<std::uint8_t> offered, bool haveCertificate);

}  // namespace tds
