#include "session.h"

#include "admission.h"
#include "batch_statement.h"
#include "call_parameters.h"
#include "login7.h"
#include "login_check.h"
#include "prelogin.h"
#include "procedure_answer.h"
#include "rpc_request.h"
#include "tds_constants.h"

#include <objbase.h>

namespace {

constexpr std::int32_t kLoginFailed = 18456;
constexpr std::int32_t kTooManyConnections = 17809;
constexpr std::int32_t kNotSupported = 50000;
constexpr std::int32_t kNoSuchProcedure = 2812;
constexpr std::int32_t kNoSuchDatabase = 911;

// COM for the thread, as a server's worker has it, for the thread's life.
class ThreadComScope {
 public:
  ThreadComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ThreadComScope() {
    if (initialised_) CoUninitialize();
  }
  ThreadComScope(const ThreadComScope &) = delete;
  ThreadComScope &operator=(const ThreadComScope &) = delete;

 private:
  bool initialised_;
};

}  // namespace

Session::Session(int socketFd, std::string peer, std::uint32_t number, const ServerContext &context, SessionStart start)
    : channel_(socketFd, context.stopFd), peer_(std::move(peer)), number_(number), context_(context), start_(std::move(start)) {}

void Session::run() noexcept {
  try {
    ThreadComScope com;
    if (!handshake() || !login()) return;
    serve();
  } catch (const tds::ChannelClosed &e) {
    context_.log->detail("connection " + std::to_string(number_) + " from " + peer_ + " closed: " + e.what());
  } catch (const std::exception &e) {
    context_.log->line("connection " + std::to_string(number_) + " from " + peer_ + " ended: " + e.what());
  } catch (...) {
    context_.log->line("connection " + std::to_string(number_) + " from " + peer_ + " ended by an unknown failure");
  }
}

bool Session::handshake() {
  const tds::Clock::time_point deadline = start_.loginDeadline;
  tds::Message message = channel_.readMessageBefore(deadline);
  if (message.type != tds::kPrelogin) throw tds::ChannelClosed("the first message is not a PRELOGIN");
  tds::PreloginRequest request;
  try {
    request = tds::parsePrelogin(message.payload);
  } catch (const tds::ProtocolError &e) {
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
  tds::Message message = channel_.readMessageBefore(start_.loginDeadline);
  if (message.type != tds::kLogin7) throw tds::ChannelClosed("expected LOGIN7");
  tds::Login7 login;
  try {
    login = tds::parseLogin7(message.payload);
  } catch (const tds::ProtocolError &e) {
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
  writer.envChange(1, tds::utf16Of("master"), tds::utf16Of("master"));
  const tds::Collation &collation = context_.text->collation();
  writer.envChangeBytes(7, std::string_view(reinterpret_cast<const char *>(collation.data()), collation.size()), "");
  writer.envChange(2, tds::utf16Of("us_english"), std::string());
  writer.envChange(4, tds::utf16Of(std::to_string(packetSize)), tds::utf16Of(std::to_string(channel_.packetSize())));
  writer.loginAck(tds::utf16Of("quarlix-server"), {1, 0, 0, 0});
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
  // After a stop, the request being answered is the last one.
  while (!closeAfterRequest_ && !channel_.stopping()) {
    tds::Message message = channel_.readMessage(idleDeadline(), true, context_.messageTimeout);
    switch (message.type) {
      case tds::kSqlBatch:
        handleBatch(message);
        break;
      case tds::kRpc:
        handleRpc(message);
        break;
      case tds::kAttention:
        // Nothing runs: the answer was complete. The client still waits for the acknowledgement.
        sendDone(tds::kDoneAttention);
        break;
      default:
        throw tds::ChannelClosed("unexpected message type " + std::to_string(message.type));
    }
  }
}

void Session::sendDone(std::uint16_t status, std::uint64_t count) {
  tds::TokenWriter writer(version_);
  writer.done(tds::kDone, status, 0, count);
  channel_.send(tds::kTabularResult, writer.bytes());
}

void Session::sendError(std::int32_t number, std::uint8_t severity, const std::string &utf8, bool inProcedure) {
  tds::TokenWriter writer(version_);
  writer.message(true, number, 1, severity, tds::utf16Of(utf8), tds::utf16Of(context_.serverName),
                 inProcedure ? tds::utf16Of("quarlix") : std::string(), 0);
  writer.done(tds::kDone, tds::kDoneError, 0, 0);
  channel_.send(tds::kTabularResult, writer.bytes());
}

void Session::sendVersionRow() {
  tds::TokenWriter writer(version_);
  tds::ColumnDescription column;
  column.wireType = tds::kTypeNVarChar;
  column.maxLength = 600;
  column.collation = context_.text->collation();
  writer.colMetadata({column});
  const std::string value =
      tds::utf16Of("quarlix-server " + context_.version + " (TDS 7.1 to 7.4) on Linux: serves EXEC quarlix only");
  OdsCell cell{reinterpret_cast<const BYTE *>(value.data()), static_cast<int>(value.size()), 0};
  writer.row({column}, &cell, 1);
  writer.done(tds::kDone, tds::kDoneCount, 0, 1);
  channel_.send(tds::kTabularResult, writer.bytes());
}

void Session::handleBatch(const tds::Message &message) {
  std::string text;
  try {
    text = tds::parseSqlBatch(message.payload, version_);
  } catch (const tds::ProtocolError &e) {
    throw tds::ChannelClosed(e.what());
  }
  switch (classifyBatch(text)) {
    case BatchKind::Exec: {
      CallParameters call = parametersOfBatch(text, *context_.text);
      if (!call.error.empty()) return sendError(kNotSupported, 16, call.error);
      closeAfterRequest_ = !callProcedure(call.parameters, true);
      return;
    }
    case BatchKind::Settings:
    case BatchKind::UseMaster:
    case BatchKind::NoTransaction:
      return sendDone(tds::kDoneFinal);
    case BatchKind::UseOther:
      return sendError(kNoSuchDatabase, 16, "This server has only the database master.");
    case BatchKind::SelectVersion:
      return sendVersionRow();
    case BatchKind::Unsupported:
      return sendError(kNotSupported, 16,
                       "This server runs only EXEC quarlix ... (and SET, USE master, SELECT @@VERSION).");
  }
}

void Session::handleRpc(const tds::Message &message) {
  tds::RpcRequest request;
  try {
    request = tds::parseRpcRequest(message.payload, version_);
  } catch (const tds::UnsupportedRequest &e) {
    return sendError(kNotSupported, 16, std::string("The request cannot be run: ") + e.what() + ".");
  } catch (const tds::ProtocolError &e) {
    throw tds::ChannelClosed(e.what());
  }
  CallParameters call;
  if (namesExecuteSql(request)) {
    call = parametersOfExecuteSql(request, *context_.text);
  } else if (!request.procId && namesTheProcedure(request.procedureName)) {
    call = parametersOfRpc(request);
  } else {
    const std::string name = request.procId ? "number " + std::to_string(*request.procId) : "'" + request.procedureName + "'";
    return sendError(kNoSuchProcedure, 16, "Could not find stored procedure " + name + "; this server has only quarlix.");
  }
  if (!call.error.empty()) return sendError(kNotSupported, 16, call.error);
  closeAfterRequest_ = !callProcedure(call.parameters, false);
}

bool Session::callProcedure(const std::vector<HostParameter> &parameters, bool inBatch) {
  opends::Connection connection;
  AnswerStyle style;
  style.version = version_;
  style.serverNameUtf16 = tds::utf16Of(context_.serverName);
  style.inBatch = inBatch;
  ProcedureAnswer answer(channel_, *context_.text, connection, style);
  int returnValue = 0;
  std::string error;
  if (!context_.procedure->call(parameters, connection, returnValue, error)) {
    sendError(kNotSupported, 16, "The call cannot be made: " + error + ".");
    return true;
  }
  answer.finish(returnValue);
  return !answer.clientMisbehaved();
}
