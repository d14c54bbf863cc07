#include "main/session.h"

#include "login/caller_scope.h"
#include "login/integrated_logins.h"
#include "login/login_check.h"
#include "login/sspi_exchange.h"
#include "sql/requests.h"
#include "tds/answer_writer.h"
#include "tds/login7.h"
#include "tds/prelogin.h"
#include "tds/rpc_request.h"
#include "tds/tds_constants.h"
#include "utf_codec.h"

#include <objbase.h>

namespace {

constexpr std::int32_t kLoginFailed = 18456;
constexpr std::int32_t kTooManyConnections = 17809;
constexpr std::int32_t kNotServed = 50000;

// COM for the thread, as a server's worker has it, for the thread's life.
class ThreadComScope {
 public:
  ThreadComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ThreadComScope() {
    if (initialised_) CoUninitialize();
  }
  ThreadComScope(const ThreadComScope&) = delete;
  ThreadComScope& operator=(const ThreadComScope&) = delete;

 private:
  bool initialised_;
};

}  // namespace

Session::Session(const Connection& connection, const ServerContext& context)
    : connection_(connection), context_(context), channel_(connection.fd, context.stopFd, context.abandonFd) {}

std::string Session::who() const {
  return "connection " + std::to_string(connection_.number) + " from " + connection_.peer;
}

void Session::run() noexcept {
  try {
    ServerLog::labelThread(who());
    ThreadComScope com;
    if (!handshake() || !login()) return;
    serve();
  } catch (const tds::ChannelClosed& e) {
    context_.log->detail(who() + " closed: " + e.what());
  } catch (const std::exception& e) {
    context_.log->line(who() + " ended: " + e.what());
  } catch (...) {
    context_.log->line(who() + " ended by an unknown failure");
  }
}

bool Session::handshake() {
  const tds::Clock::time_point deadline = connection_.firstDeadline;
  tds::Message message = channel_.readMessageBefore(deadline);
  // PRELOGIN may be left out when nothing is encrypted: the login comes first.
  if (message.type == tds::kLogin7 && !context_.tls) {
    earlyLogin_ = std::move(message);
    return true;
  }
  if (message.type != tds::kPrelogin) throw tds::ChannelClosed("the first message is not a PRELOGIN");
  tds::PreloginRequest request;
  try {
    request = tds::parsePrelogin(message.payload);
  } catch (const tds::ProtocolError& e) {
    throw tds::ChannelClosed(e.what());
  }
  tds::EncryptionChoice choice = tds::chooseEncryption(request.encryption, context_.tls != nullptr);
  channel_.send(tds::kTabularResult, tds::buildPreloginResponse(choice.answer, connection_.number));
  if (choice.refuse)
    throw tds::ChannelClosed(context_.tls ? "the client cannot encrypt and this server requires it"
                                          : "the client requires encryption and this server has no certificate");
  if (choice.tls) channel_.startTls(context_.tls, deadline);
  return true;
}

void Session::refuseLogin(std::uint32_t version, std::int32_t number, std::uint8_t severity, const std::string& text,
                          const std::string& why) {
  tds::AnswerWriter writer(channel_, version, unicode::utf8ToUtf16(context_.sql.serverName));
  writer.refuse(number, severity, text);
  throw tds::ChannelClosed(why);
}

bool Session::login() {
  tds::Message message = earlyLogin_ ? std::move(*earlyLogin_) : channel_.readMessageBefore(connection_.firstDeadline);
  earlyLogin_.reset();
  if (message.type != tds::kLogin7) throw tds::ChannelClosed("expected LOGIN7");
  tds::Login7 login;
  try {
    login = tds::parseLogin7(message.payload);
  } catch (const tds::ProtocolError& e) {
    throw tds::ChannelClosed(e.what());
  }
  version_ = tds::agreedVersion(login.tdsVersion);
  if (version_ == 0)
    refuseLogin(tds::kVersion71, kLoginFailed, 14, "Login failed: this server speaks TDS 7.1 to 7.4.",
                "the client speaks a protocol older than TDS 7.1");
  // A client on probation waits here for its turn; a refused one is told why.
  if (!connection_.ticket->loginArrived(connection_.loginDeadline - std::chrono::seconds(5))) {
    const std::string refusal = connection_.ticket->refusal();
    refuseLogin(version_, kTooManyConnections, 20, refusal, "refused: " + refusal);
  }
  std::string sspiReply, how;
  if (login.integratedSecurity) {
    user_ = integratedLogin(login, sspiReply, how);
  } else {
    std::optional<std::string> user =
        checkLogin(context_, {connection_.address, who(), connection_.loginDeadline}, login);
    if (!user)
      refuseLogin(version_, kLoginFailed, 14, "Login failed for user '" + login.userName + "'.",
                  "login failed for user '" + login.userName + "'");
    user_ = *user;
  }
  std::uint32_t packetSize = login.packetSize == 0 ? tds::kDefaultPacketSize : login.packetSize;
  packetSize = std::max(tds::kMinPacketSize, std::min(tds::kMaxPacketSize, packetSize));

  tds::AnswerWriter writer(channel_, version_, unicode::utf8ToUtf16(context_.sql.serverName));
  writer.begin(tds::AnswerWriter::Request::Batch);
  if (!sspiReply.empty()) writer.sspi(sspiReply);
  writer.envChange(tds::kEnvDatabase, u"master", u"master");
  const tds::Collation& collation = context_.sql.text->collation();
  writer.envChangeBytes(tds::kEnvCollation,
                        std::string_view(reinterpret_cast<const char*>(collation.data()), collation.size()), "");
  writer.envChange(tds::kEnvLanguage, u"us_english", u"");
  writer.envChange(tds::kEnvPacketSize, unicode::utf8ToUtf16(std::to_string(packetSize)),
                   unicode::utf8ToUtf16(std::to_string(channel_.packetSize())));
  writer.loginAck(u"quarlix-server", {1, 0, 0, 0});
  writer.endBatch();
  channel_.setPacketSize(packetSize);
  connection_.ticket->loggedIn();
  if (channel_.encrypted()) how += how.empty() ? "TLS" : ", TLS";
  context_.log->detail(who() + ": login " + user_ + (how.empty() ? "" : " (" + how + ")"));
  return true;
}

std::string Session::integratedLogin(const tds::Login7& login, std::string& reply, std::string& how) {
  const LoginAttempt attempt{connection_.address, who(), connection_.loginDeadline};
  SspiOutcome outcome;
  if (context_.integrated) {
    tds::AnswerWriter writer(channel_, version_, unicode::utf8ToUtf16(context_.sql.serverName));
    outcome = exchangeSspi(context_.integrated->acceptor, login.sspi, writer, channel_, connection_.loginDeadline);
  } else {
    outcome.failure = "integrated (Windows) authentication is not offered";
  }
  std::optional<std::string> admitted = checkIntegratedLogin(context_, attempt, outcome.principal, outcome.failure);
  const std::string refusal = "Login failed for user '" + outcome.principal + "'.";
  if (!admitted) refuseLogin(version_, kLoginFailed, 14, refusal, "login failed for user '" + outcome.principal + "'");
  if (context_.integrated->acceptor.delegation()) {
    if (!outcome.delegated) {
      context_.log->line(who() + ": login failed for '" + outcome.principal +
                         "': the login brought no credential to read the directory as the caller with");
      refuseLogin(version_, kLoginFailed, 14, refusal, "login failed for user '" + outcome.principal + "'");
    }
    caller_ = std::move(outcome.delegated);
  }
  how = "Kerberos, " + *admitted;
  reply = std::move(outcome.lastReply);
  return outcome.principal;
}

tds::Clock::time_point Session::idleDeadline() const {
  if (context_.idleTimeout.count() == 0) return tds::Clock::now() + std::chrono::hours(24 * 365);
  return tds::Clock::now() + context_.idleTimeout;
}

void Session::serve() {
  tds::AnswerWriter writer(channel_, version_, unicode::utf8ToUtf16(context_.sql.serverName));
  sql::Requests requests(context_.sql, writer, version_, static_cast<std::uint16_t>(connection_.number % 32000 + 1),
                         user_);
  bool closeAfterRequest = false;
  // After a stop, the request being answered is the last one.
  while (!closeAfterRequest && !channel_.stopping()) {
    tds::Message message = channel_.readMessage(idleDeadline(), true, context_.messageTimeout);
    CallerScope caller(caller_.get(), user_);
    try {
      switch (message.type) {
        case tds::kSqlBatch:
          closeAfterRequest = !requests.runBatch(tds::parseSqlBatch(message.payload, version_));
          break;
        case tds::kRpc: closeAfterRequest = !runRpc(requests, message); break;
        case tds::kTransactionManager: requests.runTransactionRequest(message.payload); break;
        // Nothing runs: the answer was complete. The client still waits for the acknowledgement.
        case tds::kAttention: writer.acknowledgeAttention(); break;
        default:
          requests.refuse(kNotServed,
                          "Requests of type " + std::to_string(message.type) + " are not served by this server.");
          break;
      }
    } catch (const tds::ProtocolError& e) {
      throw tds::ChannelClosed(e.what());
    }
  }
}

bool Session::runRpc(sql::Requests& requests, const tds::Message& message) {
  tds::RpcRequest request;
  try {
    request = tds::parseRpcRequest(message.payload, version_);
  } catch (const tds::UnsupportedRequest& e) {
    requests.refuse(kNotServed, std::string("The request cannot be run: ") + e.what() + ".");
    return true;
  }
  return requests.runRpc(request);
}
