// The LOGIN7 message: who logs in, with which protocol version and packet size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tds {

struct Login7 {
  std::uint32_t tdsVersion = 0;
  std::uint32_t packetSize = 0;
  std::string userName;  // UTF-8
  std::string password;  // UTF-8, decoded from the protocol's scrambling; never logged
  std::string hostName, appName, database, language;
  // Integrated (SSPI) logins: the flag, and the first SSPI token (Kerberos or
  // NTLM) as sent. Read here so that an integrated login can be checked
  // where login_check decides; this server does not offer one yet.
  bool integratedSecurity = false;
  std::string sspi;
};

// Raises ProtocolError for a message that is not a well-formed LOGIN7.
Login7 parseLogin7(std::string_view payload);

// The version this server answers with for a client's version; 0 when the
// client's version is older than 7.1.
std::uint32_t agreedVersion(std::uint32_t clientVersion);

}  // namespace tds
