#include "main/session.h"

#include "net/admission.h"
#include "tds/login7.h"
#include "login/login_check.h"
#include "tds/prelogin.h"
#include "tds/rpc_request.h"
#include "sql/statement_runner.h"
#include "tds/tds_constants.h"
#include "utf_codec.h"

#include <objbase.h>

namespace {

constexpr std::int32_t kLoginFailed = 18456;
constexpr std::int32_t kTooManyConnections = 17809;

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

Session::Session(int socketFd, std::string peer, std::uint32_t number, const ServerContext& context, SessionStart start)
    : channel_(socketFd, context.stopFd),
      peer_(std::move(peer)),
      number_(number),
      context_(context),
      start_(std::move(start)) {}

void Session::run() noexcept {
  try {
    ThreadComScope com;
    if (!handshake() || !login()) return;
    serve();
  } catch (const tds::ChannelClosed& e) {
    context_.log->detail("connection " + std::to_string(number_) + " from " + peer_ + " closed: " + e.what());
  } catch (const std::exception& e) {
    context_.log->line("connection " + std::to_string(number_) + " from " + peer_ + " ended: " + e.what());
  } catch (...) {
    context_.log->line("connection " + std::to_string(number_) + " from " + peer_ + " ended by an unknown failure");
  }
}

bool Session::handshake() {
  const tds::Clock::time_point deadline = start_.loginDeadline;
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
  channel_.send(tds::kTabularResult, tds::buildPreloginResponse(choice.answer, number_));
  if (choice.refuse)
    throw tds::ChannelClosed(context_.tls ? "the client cannot encrypt and this server requires it"
                                          : "the client requires encryption and this server has no certificate");
  if (choice.tls) channel_.startTls(context_.tls, deadline);
  return true;
}

bool Session::login() {
  tds::Message message = earlyLogin_ ? std::move(*earlyLogin_) : channel_.readMessageBefore(start_.loginDeadline);
  earlyLogin_.reset();
  if (message.type != tds::kLogin7) throw tds::ChannelClosed("expected LOGIN7");
  tds::Login7 login;
  try {
    login = tds::parseLogin7(message.payload);
  } catch (const tds::ProtocolError& e) {
    throw tds::ChannelClosed(e.what());
  }
  version_ = tds::agreedVersion(login.tdsVersion);
  if (version_ == 0) {
    version_ = tds::kVersion71;
    sendError(kLoginFailed, 14, "Login failed: this server speaks TDS 7.1 to 7.4.");
    throw tds::ChannelClosed("the client speaks a protocol older than TDS 7.1");
  }
  if (!start_.refusal.empty()) {
    sendError(kTooManyConnections, 20, start_.refusal);
    throw tds::ChannelClosed("refused: " + start_.refusal);
  }
  const std::string connection = "connection " + std::to_string(number_) + " from " + peer_;
  std::optional<std::string> user = checkLogin(context_, {start_.address, connection, start_.loginDeadline}, login);
  if (!user) {
    sendError(kLoginFailed, 14, "Login failed for user '" + login.userName + "'.");
    throw tds::ChannelClosed("login failed for user '" + login.userName + "'");
  }
  user_ = *user;
  std::uint32_t packetSize = login.packetSize == 0 ? tds::kDefaultPacketSize : login.packetSize;
  packetSize = std::max(tds::kMinPacketSize, std::min(tds::kMaxPacketSize, packetSize));

  tds::TokenWriter writer(version_);
  writer.envChange(tds::kEnvDatabase, u"master", u"master");
  const tds::Collation& collation = context_.text->collation();
  writer.envChangeBytes(tds::kEnvCollation,
                        std::string_view(reinterpret_cast<const char*>(collation.data()), collation.size()), "");
  writer.envChange(tds::kEnvLanguage, u"us_english", u"");
  writer.envChange(tds::kEnvPacketSize, unicode::utf8ToUtf16(std::to_string(packetSize)),
                   unicode::utf8ToUtf16(std::to_string(channel_.packetSize())));
  writer.loginAck(u"quarlix-server", {1, 0, 0, 0});
  writer.done(tds::kDone, tds::kDoneFinal, 0, 0);
  channel_.send(tds::kTabularResult, writer.bytes());
  channel_.setPacketSize(packetSize);
  if (start_.ticket) start_.ticket->loggedIn();
  context_.log->detail("connection " + std::to_string(number_) + " from " + peer_ + ": login " + user_ +
                       (channel_.encrypted() ? " (TLS)" : ""));
  return true;
}

tds::Clock::time_point Session::idleDeadline() const {
  if (context_.idleTimeout.count() == 0) return tds::Clock::now() + std::chrono::hours(24 * 365);
  return tds::Clock::now() + context_.idleTimeout;
}

void Session::serve() {
  StatementRunner runner(channel_, context_, version_, static_cast<std::uint16_t>(number_ % 32000 + 1), user_);
  // After a stop, the request being answered is the last one.
  while (!closeAfterRequest_ && !channel_.stopping()) {
    tds::Message message = channel_.readMessage(idleDeadline(), true, context_.messageTimeout);
    try {
      switch (message.type) {
        case tds::kSqlBatch:
          closeAfterRequest_ = !runner.runBatch(tds::parseSqlBatch(message.payload, version_));
          break;
        case tds::kRpc: closeAfterRequest_ = !runRpc(runner, message); break;
        case tds::kTransactionManager: closeAfterRequest_ = !runner.runTransactionRequest(message.payload); break;
        case tds::kAttention:
          // Nothing runs: the answer was complete. The client still waits for the acknowledgement.
          sendDone(tds::kDoneAttention);
          break;
        default:
          runner.sendError(kNotSupported, 16,
                           "Requests of type " + std::to_string(message.type) + " are not served by this server.");
          break;
      }
    } catch (const tds::ProtocolError& e) {
      throw tds::ChannelClosed(e.what());
    }
  }
}

bool Session::runRpc(StatementRunner& runner, const tds::Message& message) {
  tds::RpcRequest request;
  try {
    request = tds::parseRpcRequest(message.payload, version_);
  } catch (const tds::UnsupportedRequest& e) {
    runner.sendError(kNotSupported, 16, std::string("The request cannot be run: ") + e.what() + ".");
    return true;
  }
  return runner.runRpc(request);
}

void Session::sendDone(std::uint16_t status, std::uint64_t count) {
  tds::TokenWriter writer(version_);
  writer.done(tds::kDone, status, 0, count);
  channel_.send(tds::kTabularResult, writer.bytes());
}

void Session::sendError(std::int32_t number, std::uint8_t severity, const std::string& utf8) {
  tds::TokenWriter writer(version_);
  tds::MessageToken message;
  message.number = number;
  message.severity = severity;
  message.text = unicode::utf8ToUtf16(utf8);
  message.server = unicode::utf8ToUtf16(context_.serverName);
  writer.message(message);
  writer.done(tds::kDone, tds::kDoneError, 0, 0);
  channel_.send(tds::kTabularResult, writer.bytes());
}
