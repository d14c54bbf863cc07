#include "login/sspi_exchange.h"

#include "tds/tds_constants.h"

namespace {

// Kerberos takes one leg, SPNEGO two or three: more is a client going round.
constexpr int kMostLegs = 8;

}  // namespace

SspiOutcome exchangeSspi(const KerberosAcceptor& acceptor, const std::string& firstToken, tds::AnswerWriter& writer,
                         tds::PacketChannel& channel, tds::Clock::time_point deadline) {
  SspiOutcome outcome;
  KerberosLogin login = acceptor.beginLogin();
  std::string token = firstToken;
  try {
    for (int leg = 1;; ++leg) {
      if (token.empty()) throw KerberosFailure("the client sent no SSPI token");
      KerberosLogin::Step step = login.accept(reinterpret_cast<const unsigned char*>(token.data()), token.size());
      std::string reply(step.reply.begin(), step.reply.end());
      if (step.complete) {
        outcome.lastReply = std::move(reply);
        break;
      }
      if (leg == kMostLegs) throw KerberosFailure("the exchange took more than " + std::to_string(kMostLegs) + " legs");
      writer.sspiLeg(reply);
      tds::Message next = channel.readMessageBefore(deadline);
      // pytds sends the next leg in packets of the login's type.
      if (next.type != tds::kSspiMessage && next.type != tds::kLogin7)
        throw tds::ChannelClosed("expected an SSPI message during the login");
      token = std::move(next.payload);
    }
  } catch (const KerberosFailure& failure) {
    outcome.failure = failure.what();
    return outcome;
  }
  outcome.principal = login.principal();
  outcome.delegated = login.takeDelegatedCredential();
  return outcome;
}
