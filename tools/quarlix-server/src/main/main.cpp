// quarlix-server: the procedure served over TDS, so SQL clients can call it.
// Exit status: 0 after a stop by SIGTERM or SIGINT, 2 when it cannot start.
// SIGHUP reads the logins file again.
#include "answer/code_page_text.h"
#include "library_loader.h"
#include "main/session.h"
#include "net/listener.h"
#include "net/packet_channel.h"
#include "login/integrated_logins.h"
#include "login/login_file.h"
#include "login/login_reload.h"
#include "login/login_throttle.h"
#include "login/logins.h"
#include "net/malloc_tuning.h"
#include "mounted_directory.h"
#include "procedure_call.h"
#include "main/server_context.h"
#include "main/server_options.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <cstdio>
#include <iostream>
#include <memory>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kCannotStart = 2;
// On a stop, the calls in flight have this long to end; then the server gives
// up on their connections, and waits a little more for their threads.
constexpr std::chrono::seconds kDrainTime(120);
constexpr std::chrono::seconds kAbandonGrace(10);

int stopPipe[2] = {-1, -1};
int reloadPipe[2] = {-1, -1};

void onStopSignal(int) {
  const char byte = 1;
  ssize_t ignored = ::write(stopPipe[1], &byte, 1);
  (void)ignored;
}

void onReloadSignal(int) {
  const char byte = 1;
  ssize_t ignored = ::write(reloadPipe[1], &byte, 1);  // non-blocking: a full pipe has a reload pending already
  (void)ignored;
}

int cannotStart(const std::string& reason) {
  std::cerr << "quarlix-server: " << reason << '\n';
  return kCannotStart;
}

struct TlsContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using TlsContext = std::unique_ptr<SSL_CTX, TlsContextFree>;

// Why this process cannot read `path`, with the remedy when the file is there
// but kept from this user (a key made 0600 by root, read by the service's user).
std::string unreadableFileReason(const char* what, const std::string& path) {
  if (::access(path.c_str(), R_OK) == 0) return std::string();
  const int cause = errno;
  std::string reason = std::string("cannot read the ") + what + " " + path + ": " + std::strerror(cause);
  if (cause != EACCES) return reason;
  const passwd* user = ::getpwuid(::geteuid());
  const group* group = ::getgrgid(::getegid());
  const std::string userName = user ? user->pw_name : std::to_string(::geteuid());
  const std::string groupName = group ? group->gr_name : std::to_string(::getegid());
  return reason + " (this server runs as user " + userName + ", group " + groupName +
         "; let the group read it: chgrp " + groupName + " " + path + " && chmod 640 " + path + ")";
}

TlsContext makeTlsContext(const ServerOptions& options, std::string& error) {
  for (const auto& [what, path] :
       {std::pair<const char*, const std::string&>{"certificate", options.tlsCertificate}, {"key", options.tlsKey}}) {
    error = unreadableFileReason(what, path);
    if (!error.empty()) return nullptr;
  }
  TlsContext context(SSL_CTX_new(TLS_server_method()));
  if (!context) {
    error = "cannot set up TLS";
    return nullptr;
  }
  // TLS inside PRELOGIN packets is TLS 1.2 with clients of TDS 7.x.
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
  if (SSL_CTX_use_certificate_chain_file(context.get(), options.tlsCertificate.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), options.tlsKey.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1) {
    char text[256] = "";
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    error = "cannot use the certificate " + options.tlsCertificate + " and key " + options.tlsKey + ": " + text;
    return nullptr;
  }
  return context;
}

// The terminal does not show what is typed while it lives (when standard
// input is one).
class HiddenInput {
 public:
  HiddenInput() : active_(isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::cerr << "Password: " << std::flush;
  }
  ~HiddenInput() {
    if (!active_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    std::cerr << '\n';
  }
  HiddenInput(const HiddenInput&) = delete;
  HiddenInput& operator=(const HiddenInput&) = delete;

 private:
  termios saved_{};
  bool active_;
};

// The login's line from the password on standard input; empty after
// reporting why not.
std::string loginLineFromInput(const std::string& name, const char* option) {
  std::string password;
  bool read;
  {
    HiddenInput hidden;
    read = static_cast<bool>(std::getline(std::cin, password));
  }
  if (!read) {
    cannotStart(std::string(option) + " reads the password on standard input");
    return std::string();
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  std::string error;
  std::string line = makeLoginLine(name, password, error);
  OPENSSL_cleanse(password.data(), password.size());
  if (line.empty()) cannotStart(error);
  return line;
}

int printLogin(const std::string& name) {
  std::string line = loginLineFromInput(name, "--print-login");
  if (line.empty()) return kCannotStart;
  std::cout << line << '\n';
  return 0;
}

int addLogin(const std::string& name, const std::string& path) {
  std::string line = loginLineFromInput(name, "--add-login");
  if (line.empty()) return kCannotStart;
  std::string error;
  if (!addLoginToFile(path, name, line, error)) return cannotStart(error);
  std::cerr << "quarlix-server: the login " << name << " is in " << path
            << " (a running server reads it on SIGHUP: systemctl reload quarlix-server)\n";
  return 0;
}

int removeLogin(const std::string& name, const std::string& path) {
  std::string error;
  if (!removeLoginFromFile(path, name, error)) return cannotStart(error);
  std::cerr << "quarlix-server: the login " << name << " is no longer in " << path
            << " (a running server drops it on SIGHUP: systemctl reload quarlix-server; its connections stay)\n";
  return 0;
}

// What the log says of integrated logins when the server starts.
std::string integratedLoginsLine(const ServerOptions& options, const IntegratedLogins& integrated) {
  std::string line = "Kerberos logins with the keytab " + options.keytab + " for " +
                     std::to_string(integrated.allowed.principals.size()) + " principals and " +
                     std::to_string(integrated.allowed.groups.size()) + " groups";
  if (integrated.acceptor.delegation())
    line += "; calls read the directory as the caller (delegation by " + integrated.acceptor.serviceName() + ")";
  return line;
}

int serve(const ServerOptions& options) {
  std::string error;
  // Read by the directory stand-in, which the procedure library loads below.
  if (options.trace) ::setenv("QUARLIX_ADSI_TRACE", "1", 1);
  const unsigned codePage = options.codePage.value_or(ServerOptions::kDefaultCodePage);
  std::optional<CodePageText> text = CodePageText::choose(codePage);
  if (!text)
    return cannotStart("--codepage " + std::to_string(codePage) + ": this server knows code pages 1252 and 65001");

  // Either kind of login may be absent, not both: nobody could log in. With
  // Kerberos logins the logins file the unit names may not exist yet (SIGHUP
  // reads it once it does).
  std::optional<Logins> logins = Logins{};
  const bool loginsFileMissing =
      !options.keytab.empty() && !options.loginsFile.empty() && ::access(options.loginsFile.c_str(), F_OK) != 0;
  if (!options.loginsFile.empty() && !loginsFileMissing) logins = Logins::load(options.loginsFile, error);
  if (!logins) return cannotStart(error);
  if (logins->size() == 0 && options.keytab.empty()) return cannotStart(noLoginsReason(options.loginsFile));
  LoginBook loginBook(std::move(*logins));
  std::optional<IntegratedLogins> integrated;
  if (!options.keytab.empty()) {
    try {
      integrated.emplace(IntegratedLogins{KerberosAcceptor(options.keytab, options.delegate),
                                          {options.allowPrincipals, options.allowGroups}});
    } catch (const KerberosFailure& failure) {
      return cannotStart(std::string("--keytab: ") + failure.what());
    }
  }

  const std::string here = executableDirectory();
  MountedDirectory directory;
  const std::string ldif = directoryToMount(options, here);
  if (!ldif.empty() && !directory.mount(ldif, error)) return cannotStart(error);

  std::unique_ptr<ProcedureEntry> procedure = ProcedureEntry::open(libraryToLoad(options, here), error);
  if (!procedure) return cannotStart(error);

  TlsContext tls;
  if (!options.tlsCertificate.empty()) {
    tls = makeTlsContext(options, error);
    if (!tls) return cannotStart(error);
  }

  if (::pipe(stopPipe) != 0 || ::pipe2(reloadPipe, O_NONBLOCK | O_CLOEXEC) != 0)
    return cannotStart("cannot create the signal pipes");
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  struct sigaction reload {};
  reload.sa_handler = onReloadSignal;
  sigaction(SIGHUP, &reload, nullptr);

  ServerLog log(options.quiet);
  AdmissionLimits limits;
  limits.connections = options.maxConnections;
  limits.pending = options.maxPending;
  limits.pendingPerAddress = options.maxPendingPerAddress;
  limits.probation = options.maxConnections;
  LoginThrottle throttle;
  ServerContext context;
  // The listener joins its connections' threads when it goes: what they use
  // (the context and all it points to) is declared before it.
  Listener listener(limits, [&log](const std::string& line) { log.line(line); });
  if (!listener.open(options.listenHost, options.listenPort, !tls, error)) return cannotStart(error);
  log.takeDirectoryNotices();
  log.line(serverlessPathsLine());
  if (integrated) log.line(integratedLoginsLine(options, *integrated));
  if (loginsFileMissing)
    log.line("the logins file " + options.loginsFile + " does not exist: Kerberos logins only until it does (SIGHUP)");
  if (!tls) log.line("no --tls-cert: connections are not encrypted, so only loopback addresses are served");

  context.logins = &loginBook;
  context.throttle = &throttle;
  context.integrated = integrated ? &*integrated : nullptr;
  context.sql.procedure = procedure.get();
  context.sql.text = &*text;
  context.sql.version = QUARLIX_SERVER_VERSION;
  context.tls = tls.get();
  context.stopFd = stopPipe[0];
  context.abandonFd = listener.abandonFd();
  context.loginTimeout = std::chrono::seconds(options.loginTimeoutSeconds);
  context.idleTimeout = std::chrono::seconds(options.idleTimeoutSeconds);
  context.messageTimeout = std::chrono::seconds(options.loginTimeoutSeconds);
  context.log = &log;

  std::cout << "quarlix-server: listening on " << listener.boundAddress() << std::endl;
  tds::PacketChannel::setStalledLimit(options.maxStalled);
  limitMallocArenas();
  std::optional<LoginReloader> reloader;
  if (!options.loginsFile.empty())
    reloader.emplace(loginBook, options.loginsFile, reloadPipe[0], [&log](const std::string& line) { log.line(line); });
  const auto serveConnection = [&context](const Connection& connection) { Session(connection, context).run(); };
  if (!listener.run(context.stopFd, context.loginTimeout, serveConnection, kDrainTime, kAbandonGrace)) {
    // A call still runs on a thread that uses what this function owns: the
    // process ends without unwinding, under it.
    log.line(std::to_string(listener.running()) + " connections still running at exit");
    std::_Exit(1);
  }
  log.line("stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string error;
  if (!parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) return cannotStart(error);
  if (options.help) {
    std::cout << serverUsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "quarlix-server " << QUARLIX_SERVER_VERSION << '\n';
    return 0;
  }
  if (options.printLogin) return printLogin(*options.printLogin);
  if (options.addLogin) return addLogin(*options.addLogin, options.loginsFile);
  if (options.removeLogin) return removeLogin(*options.removeLogin, options.loginsFile);
  try {
    return serve(options);
  } catch (const std::exception& e) {
    return cannotStart(e.what());
  }
}
