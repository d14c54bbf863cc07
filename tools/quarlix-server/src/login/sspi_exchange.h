// The SSPI exchange of an integrated login: the LOGIN7's token, then, while
// the acceptor asks for more, its token back alone and the client's next one
// in an SSPI message, all before the login's deadline. The acceptor's last
// token goes with the LOGINACK (the session sends it).
#pragma once

#include "login/kerberos_acceptor.h"
#include "net/packet_channel.h"
#include "tds/answer_writer.h"

#include <string>

struct SspiOutcome {
  std::string principal;    // who the client proved to be; empty when it did not
  std::string failure;      // why not, in GSSAPI's and the KDC's words
  std::string lastReply;    // the acceptor's last token, for the client
  GssCredential delegated;  // with delegation, the caller's credential, when there is one
};

// Throws ChannelClosed when the client sends anything but an SSPI message
// while a leg is due, or closes.
SspiOutcome exchangeSspi(const KerberosAcceptor& acceptor, const std::string& firstToken, tds::AnswerWriter& writer,
                         tds::PacketChannel& channel, tds::Clock::time_point deadline);
