#include "ldap/ldap_connection.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "diagnostics.h"
#include "ldap/certificate_check.h"
#include "ldap/failure_reason.h"
#include "ldap/ldap_bind.h"
#include "ldap/ldap_entry_reader.h"
#include "ldap/ldap_error_map.h"
#include "ldap/ldap_schema_cache.h"
#include "ldap/ldap_traffic.h"
#include "ldap/sigpipe_hold.h"
#include "text.h"

namespace adsi {
namespace {

constexpr const char* kStartTlsOid = "1.3.6.1.4.1.1466.20037";

using Clock = std::chrono::steady_clock;

timeval secondsValue(int seconds) {
  timeval t;
  t.tv_sec = seconds;
  t.tv_usec = 0;
  return t;
}

timeval remainingUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  if (left.count() < 0) left = std::chrono::microseconds(0);
  timeval t;
  t.tv_sec = static_cast<time_t>(left.count() / 1000000);
  t.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
  return t;
}

// Failures that say the server cannot be talked to at all.
bool unreachable(int code) { return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT; }

bool platformTlsConfigured() {
  return !platformLdapOption(LDAP_OPT_X_TLS_CACERTFILE).empty() ||
         !platformLdapOption(LDAP_OPT_X_TLS_CACERTDIR).empty();
}

std::vector<std::string> valuesOf(const DirectoryEntry& entry, const char* name) {
  const Attribute* a = entry.find(name);
  return a ? a->values : std::vector<std::string>();
}

// libldap reads each message with a poll and two reads; a read-ahead layer
// over the connected socket takes what it holds at once, so that a page of
// entries costs a few reads. Only once the socket is there: it goes above it.
void addReadAhead(LDAP* ld) {
  int descriptor = -1;
  Sockbuf* buffer = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_DESC, &descriptor) != LDAP_OPT_SUCCESS || descriptor < 0) return;
  if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &buffer) != LDAP_OPT_SUCCESS || !buffer) return;
  ber_sockbuf_add_io(buffer, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, nullptr);
}

// libldap reads the rest of a message it has begun with a plain read: on a
// blocking socket a server that stops half-way through a message would hold
// the call for ever, whatever the time-out. On a non-blocking one the read
// returns and libldap waits for the rest in its poll, which the time-out
// bounds. Set as soon as the socket is connected, before anything is read.
// The callback's argument records that the server took the connection, so
// that an ldaps:// failure after it is told apart from a server not there.
// The layer that bounds a TLS handshake goes on here too, under the TLS
// layer that libldap adds next (ldaps://) or later (StartTLS).
int connectedNonBlocking(LDAP*, Sockbuf* socket, LDAPURLDesc*, sockaddr*, ldap_conncb* callback) {
  auto* state = static_cast<LdapSocketState*>(callback->lc_arg);
  state->connected = true;
  if (ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_NONBLOCK, socket) != 1) return LDAP_LOCAL_ERROR;
  return addHandshakeWait(socket, &state->wait) == 0 ? 0 : LDAP_LOCAL_ERROR;
}
void connectionClosing(LDAP*, Sockbuf*, ldap_conncb*) {}

// The paged-results control (RFC 2696) asking for `size` entries after
// `cookie`. libldap's own constructor refuses a size of 0, which is how a
// client ends a paged search it leaves early.
int createPageControl(ber_int_t size, const std::string& cookie, LDAPControl** control) {
  *control = nullptr;
  std::unique_ptr<BerElement, void (*)(BerElement*)> ber(ber_alloc_t(LBER_USE_DER),
                                                         [](BerElement* b) { ber_free(b, 1); });
  if (!ber) return LDAP_NO_MEMORY;
  berval cookieValue{cookie.size(), const_cast<char*>(cookie.data())};
  berval value{0, nullptr};
  if (ber_printf(ber.get(), "{iO}", size, &cookieValue) == -1 || ber_flatten2(ber.get(), &value, 0) == -1)
    return LDAP_ENCODING_ERROR;
  return ldap_control_create(LDAP_CONTROL_PAGEDRESULTS, 0, &value, 1, control);
}

const char* scopeName(int scope) {
  switch (scope) {
    case LDAP_SCOPE_BASE: return "base";
    case LDAP_SCOPE_ONELEVEL: return "one";
    default: return "sub";
  }
}

// A search as the trace shows it.
std::string searchText(const LdapSearchArgs& args) {
  std::string attributes;
  if (args.allAttributes) attributes = "*";
  for (const std::string& a : args.attributes) attributes += (attributes.empty() ? "" : ",") + a;
  std::string text = "base=\"" + args.base + "\" scope=" + scopeName(args.scope) + " filter=" + args.filter +
                     " attributes=" + (attributes.empty() ? "1.1" : attributes);
  if (args.paged) text += " page=" + std::to_string(args.pageSize) + (args.cookie.empty() ? "" : " (next)");
  if (args.sizeLimit > 0) text += " sizelimit=" + std::to_string(args.sizeLimit);
  return text;
}

// The handle's diagnostic message; "" when it has none.
std::string diagnosticMessage(LDAP* ld) {
  char* message = nullptr;
  if (!ld || ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS || !message) return "";
  LdapStringPtr owned(message);
  return message;
}

bool diagnosticSays(LDAP* ld, const char* words) { return diagnosticMessage(ld).find(words) != std::string::npos; }

long long millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int handleResultCode(LDAP* ld) {
  int code = LDAP_OTHER;
  ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
  return code == LDAP_SUCCESS ? LDAP_OTHER : code;
}

}  // namespace

HRESULT LdapConnection::open(const LdapTarget& target, const AdsiConfig& config, const BindIdentity& identity,
                             std::shared_ptr<LdapConnection>& connection) {
  connection.reset();
  std::shared_ptr<LdapConnection> c(new LdapConnection(target, config, identity));
  std::lock_guard<std::mutex> lock(c->mutex_);
  SigpipeHold pipe;
  HRESULT hr = c->setUpLocked();
  if (FAILED(hr)) return hr;
  connection = std::move(c);
  return S_OK;
}

HRESULT LdapConnection::setUpLocked() {
  openedAt_ = Clock::now();
  std::string tlsFailure;
  int code = establish(config_.startTls != StartTlsMode::Never, tlsFailure);
  if (code != LDAP_SUCCESS && !tlsFailure.empty()) {
    // ADSI talks in clear unless asked to encrypt, so an anonymous connection
    // whose StartTLS was only tried goes on in clear, made anew. Credentials
    // never do: whoever configured TLS expects them protected.
    bool anonymous = identity_.kind == BindKind::Anonymous;
    bool fallBack = config_.startTls == StartTlsMode::Try && !target_.secure && anonymous;
    // A server that did not answer in time shows no certificate: not asked twice.
    std::string faults = code == LDAP_TIMEOUT ? std::string() : certificateFaults();
    if (!faults.empty()) tlsFailure += "; " + faults;
    reportLine("TLS with " + target_.uri + " failed: " + tlsFailure +
               (fallBack ? "; going on in clear text (anonymous)"
                : anonymous || target_.secure || config_.startTls == StartTlsMode::Demand
                    ? ""
                    : "; the credentials are not sent in clear text"));
    if (!fallBack) return hresultFromLdapSetup(code);
    code = establish(false, tlsFailure);
  }
  if (code != LDAP_SUCCESS) {
    reportLine("cannot use " + target_.uri + ": " + step_ + " failed: " + failureText(code) + "; tried " +
               identity_.text() + ", " + tlsUsed_ + ", network time-out " +
               std::to_string(config_.networkTimeoutSeconds) + " s");
    return hresultFromLdapSetup(code);
  }
  return S_OK;
}

std::shared_ptr<const Schema> LdapConnection::schema() {
  if (!schema_) schema_ = serverSchema(*this);
  return schema_;
}

bool LdapConnection::reusable() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reachable_) return false;
  // An operation sent on this handle and never collected would answer the
  // next user's collect.
  for (const auto& [ticket, sent] : sent_)
    if (sent.handle == handles_) return false;
  return true;
}

// The server may have closed the connection while it was idle (a restart,
// its own idle limit, a notice of disconnection): then the socket has
// something to read. Whatever is there is read without waiting; only a
// connection with no answer and no end of stream waiting is still open.
bool LdapConnection::stillOpen() {
  std::lock_guard<std::mutex> lock(mutex_);
  SigpipeHold pipe;
  int descriptor = -1;
  if (!ld_ || ldap_get_option(ld_.get(), LDAP_OPT_DESC, &descriptor) != LDAP_OPT_SUCCESS || descriptor < 0)
    return false;
  pollfd waiting{descriptor, POLLIN, 0};
  int ready = poll(&waiting, 1, 0);
  if (ready < 0) return false;
  if (ready == 0) return true;
  if (waiting.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  // Bytes that make no whole message (a TLS record of the session's own)
  // leave the connection as it was.
  timeval now{0, 0};
  LDAPMessage* raw = nullptr;
  int type = ldap_result(ld_.get(), LDAP_RES_ANY, LDAP_MSG_ONE, &now, &raw);
  LdapMessagePtr message(raw);
  return type == 0;
}

void LdapConnection::beginReuse() {
  std::lock_guard<std::mutex> lock(mutex_);
  reused_ = true;
  answered_ = false;
  replaced_ = false;
  sent_.clear();  // only operations of a replaced handle are left
}

int LdapConnection::newHandle(bool checkCertificate) {
  ld_.reset();
  socket_.connected = false;
  socket_.wait.disarm();
  connectCallback_ = ldap_conncb{connectedNonBlocking, connectionClosing, &socket_};
  LDAP* raw = nullptr;
  int code = ldap_initialize(&raw, target_.uri.c_str());
  ld_.reset(raw);
  if (code != LDAP_SUCCESS) return code;
  int version = LDAP_VERSION3;
  timeval network = secondsValue(config_.networkTimeoutSeconds);
  timeval operation = secondsValue(config_.timeoutSeconds);
  if (ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
      ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
      // The host's signals must not fail an operation half-way.
      ldap_set_option(raw, LDAP_OPT_RESTART, LDAP_OPT_ON) != LDAP_OPT_SUCCESS ||
      ldap_set_option(raw, LDAP_OPT_CONNECT_CB, &connectCallback_) != LDAP_OPT_SUCCESS ||
      ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &network) != LDAP_OPT_SUCCESS ||
      ldap_set_option(raw, LDAP_OPT_TIMEOUT, &operation) != LDAP_OPT_SUCCESS)
    return LDAP_LOCAL_ERROR;
  if (!config_.tlsCaCert.empty() &&
      ldap_set_option(raw, LDAP_OPT_X_TLS_CACERTFILE, config_.tlsCaCert.c_str()) != LDAP_OPT_SUCCESS)
    return LDAP_LOCAL_ERROR;
  int level = checkCertificate ? config_.tlsRequireCert : LDAP_OPT_X_TLS_NEVER;
  if (level >= 0 && ldap_set_option(raw, LDAP_OPT_X_TLS_REQUIRE_CERT, &level) != LDAP_OPT_SUCCESS)
    return LDAP_LOCAL_ERROR;
  if (!config_.tlsCaCert.empty() || level >= 0) {
    int fresh = 0;  // the handle's own TLS context, with the options above
    if (ldap_set_option(raw, LDAP_OPT_X_TLS_NEWCTX, &fresh) != LDAP_OPT_SUCCESS) return LDAP_LOCAL_ERROR;
  }
  return LDAP_SUCCESS;
}

int LdapConnection::startTlsStep(std::string& tlsFailure) {
  step_ = "StartTLS";
  tlsUsed_ = "StartTLS";
  int code = runStartTls();
  if (code == LDAP_SUCCESS) return code;
  tlsFailure = socket_.wait.expired
                   ? "StartTLS: the server granted StartTLS and did not answer the TLS handshake within " +
                         std::to_string(config_.networkTimeoutSeconds) + " s"
                   : "StartTLS: " + tlsFailureText(code);
  return socket_.wait.expired ? LDAP_TIMEOUT : code;
}

// StartTLS that the stand-in's own configuration asks for, whatever the
// server's root DSE lists.
bool LdapConnection::tlsConfiguredHere() const {
  if (target_.secure || target_.uri.rfind("ldapi:", 0) == 0) return false;
  return config_.startTls == StartTlsMode::Demand || !config_.tlsCaCert.empty() || config_.tlsRequireCert >= 0;
}

// With TLS set up in the stand-in's own configuration StartTLS is tried
// whether or not the root DSE lists it: Active Directory and Samba do not.
// The platform's TLS settings alone (ldap.conf's TLS_CACERT, which Debian
// sets for everyone) count only for a server that lists the extension.
// A caller's bind signs and seals, which domain controllers refuse inside
// TLS: their connections never start it (a configuration that asks for TLS
// fails such a call before it connects, bind_identity.h).
bool LdapConnection::shouldStartTls() const {
  if (target_.secure || target_.uri.rfind("ldapi:", 0) == 0 || identity_.kind == BindKind::Caller) return false;
  if (tlsConfiguredHere()) return true;
  bool offered = false;
  for (const std::string& oid : rootDse_.supportedExtensions) offered = offered || oid == kStartTlsOid;
  return offered && platformTlsConfigured();
}

// Why TLS failed, as far as libldap tells: its GnuTLS layer gives only
// "unknown error code", which is left out.
std::string LdapConnection::tlsFailureText(int code) const {
  std::string text = ldap_err2string(code);
  const std::string message = diagnosticMessage(ld_.get());
  if (!message.empty() && message != "(unknown error code)") text += " (" + message + ")";
  return text;
}

// The same, with what Active Directory's sub-code means.
std::string LdapConnection::failureText(int code) const {
  std::string text = tlsFailureText(code);
  std::string reason = activeDirectoryReason(text);
  if (code == LDAP_TIMEOUT) text += " (no answer within the time-out)";
  return reason.empty() ? text : text + ": " + reason;
}

// After a failed handshake: connects once more without the certificate
// check, to name what is wrong with the certificate. "" when libldap names
// it itself (OpenSSL builds), when nothing was checked, or when the handshake
// fails without the check too.
std::string LdapConnection::certificateFaults() {
  if (platformLdapOption(LDAP_OPT_X_TLS_PACKAGE) != "GnuTLS") return "";
  int level = config_.tlsRequireCert;
  if (level < 0) ldap_get_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &level);
  if (level == LDAP_OPT_X_TLS_NEVER || level == LDAP_OPT_X_TLS_ALLOW) return "";
  if (socket_.wait.expired) return "";  // no certificate came
  if (newHandle(false) != LDAP_SUCCESS) return "";
  // StartTLS as the connection's first operation (see establish).
  int code = connectHandle();
  if (code == LDAP_SUCCESS && !target_.secure) code = runStartTls();
  berval peer{0, nullptr};
  if (code != LDAP_SUCCESS || ldap_get_option(ld_.get(), LDAP_OPT_X_TLS_PEERCERT, &peer) != LDAP_OPT_SUCCESS ||
      !peer.bv_val)
    return "";
  std::string der(peer.bv_val, peer.bv_len);
  ber_memfree(peer.bv_val);
  std::string caFile = config_.tlsCaCert.empty() ? platformLdapOption(LDAP_OPT_X_TLS_CACERTFILE) : config_.tlsCaCert;
  std::string caFolder = config_.tlsCaCert.empty() ? platformLdapOption(LDAP_OPT_X_TLS_CACERTDIR) : "";
  return describeCertificateFaults(der, caFile, caFolder, target_.host);
}

int LdapConnection::establish(bool startTls, std::string& tlsFailure) {
  tlsFailure.clear();
  rootDse_ = RootDse();
  step_ = "setting up the connection";
  tlsUsed_ = target_.secure ? "TLS from the start (ldaps)" : "no TLS";
  int code = newHandle();
  if (code != LDAP_SUCCESS) return code;
  step_ = target_.secure ? "connecting with TLS" : "connecting";
  // Over ldaps:// connecting makes the TLS handshake.
  code = connectHandle();
  if (code != LDAP_SUCCESS) {
    if (socket_.wait.expired) {
      tlsFailure = "ldaps: the server took the connection and did not answer the TLS handshake within " +
                   std::to_string(config_.networkTimeoutSeconds) + " s";
      return LDAP_TIMEOUT;
    }
    // The server took the connection and it failed before any answer: the
    // TLS handshake did.
    if (target_.secure && socket_.connected) tlsFailure = "ldaps: " + tlsFailureText(code);
    return code;
  }
  // StartTLS the configuration asks for comes first, while no other
  // operation is on the connection: a server refuses StartTLS while it still
  // counts an earlier operation as outstanding, which it may do for a moment
  // after it has sent that operation's result.
  const bool tlsFirst = startTls && tlsConfiguredHere();
  if (tlsFirst && (code = startTlsStep(tlsFailure)) != LDAP_SUCCESS) return code;
  // The root DSE, as anonymous: its answer shows the server is there within
  // the time-out.
  step_ = "reading the root DSE";
  code = readRootDse();
  if (unreachable(code) || code == LDAP_UNAVAILABLE) return code;
  addReadAhead(ld_.get());
  if (startTls && !tlsFirst && shouldStartTls() && (code = startTlsStep(tlsFailure)) != LDAP_SUCCESS) return code;
  step_ = "the bind";
  code = bindLocked();
  if (code != LDAP_SUCCESS) return code;
  if (!rootDse_.read) readRootDse();  // some servers show it only to a bound client
  return LDAP_SUCCESS;
}

int LdapConnection::connectHandle() {
  HandshakeWaitScope bounded(socket_.wait, config_.networkTimeoutSeconds);
  auto start = Clock::now();
  int code = ldap_connect(ld_.get()) == LDAP_SUCCESS ? LDAP_SUCCESS : handleResultCode(ld_.get());
  if (tracing())
    traceLine("connect " + target_.uri + (target_.secure ? " with TLS" : "") + " (network time-out " +
              std::to_string(config_.networkTimeoutSeconds) +
              " s): " + (code == LDAP_SUCCESS ? std::string("connected") : tlsFailureText(code)) +
              (socket_.wait.expired ? " (TLS handshake unanswered)" : "") + ", " +
              std::to_string(millisecondsSince(start)) + " ms");
  return code;
}

int LdapConnection::runStartTls() {
  HandshakeWaitScope bounded(socket_.wait, config_.networkTimeoutSeconds);
  auto start = Clock::now();
  int code = ldap_start_tls_s(ld_.get(), nullptr, nullptr);
  // After the root DSE read a server may still count it as outstanding for
  // a moment (slapd does): asked again a little later, it starts TLS.
  for (int retry = 1; retry <= 3 && code == LDAP_OPERATIONS_ERROR && diagnosticSays(ld_.get(), "outstanding");
       ++retry) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * retry));
    code = ldap_start_tls_s(ld_.get(), nullptr, nullptr);
  }
  if (tracing())
    traceLine("StartTLS on " + target_.uri + ": " +
              (code == LDAP_SUCCESS ? std::string("protected") : tlsFailureText(code)) +
              (socket_.wait.expired ? " (TLS handshake unanswered)" : "") + ", " +
              std::to_string(millisecondsSince(start)) + " ms");
  return code;
}

// The bind, and in the trace who the server says the connection is (the
// Who-am-I operation, RFC 4532).
int LdapConnection::bindLocked() {
  auto start = Clock::now();
  int code = bindConnection(ld_.get(), identity_, config_);
  if (!tracing()) return code;
  std::string seen;
  if (code == LDAP_SUCCESS) {
    berval* authzid = nullptr;
    int who = ldap_whoami_s(ld_.get(), &authzid, nullptr, nullptr);
    seen = who != LDAP_SUCCESS
               ? std::string("; who-am-I: ") + ldap_err2string(who)
               : "; the server sees " + (authzid && authzid->bv_len ? std::string(authzid->bv_val, authzid->bv_len)
                                                                    : std::string("anonymous"));
    if (authzid) ber_bvfree(authzid);
  }
  traceLine("bind " + identity_.text() + ": " + (code == LDAP_SUCCESS ? std::string("bound") : failureText(code)) +
            seen + ", " + std::to_string(millisecondsSince(start)) + " ms");
  return code;
}

int LdapConnection::readRootDse() {
  LdapSearchArgs args;
  args.scope = LDAP_SCOPE_BASE;
  args.allAttributes = false;
  args.attributes = {"defaultNamingContext", "namingContexts", "subschemaSubentry", "supportedExtension"};
  LdapSearchOutcome outcome;
  int code = searchLocked(args, outcome);
  if (code != LDAP_SUCCESS || outcome.entries.empty()) return code;
  const DirectoryEntry& dse = *outcome.entries.front();
  rootDse_.read = true;
  auto first = [](const std::vector<std::string>& v) { return v.empty() ? std::string() : v[0]; };
  rootDse_.defaultNamingContext = first(valuesOf(dse, "defaultNamingContext"));
  rootDse_.namingContexts = valuesOf(dse, "namingContexts");
  rootDse_.subschemaSubentry = first(valuesOf(dse, "subschemaSubentry"));
  rootDse_.supportedExtensions = valuesOf(dse, "supportedExtension");
  return LDAP_SUCCESS;
}

template <class Operation>
int LdapConnection::use(Operation operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  SigpipeHold pipe;
  // Later operations fail as the one that gave the connection up did: a
  // walk over a server that stopped answering reports the time-out
  // whichever of its reads meets it first.
  if (!reachable_) return lostWith_;
  int code = operation();
  // A replacement that cannot be set up leaves what a new connection meets.
  if (replaceable(code)) code = replaceLocked(code) ? operation() : LDAP_SERVER_DOWN;
  if (unreachable(code)) {
    reachable_ = false;
    lostWith_ = code;
  }
  return code;
}

// A connection taken from the pool that the server closed, or said it no
// longer serves (unavailable: it is shutting down), before it answered
// anything of this use.
bool LdapConnection::replaceable(int code) const {
  return (code == LDAP_SERVER_DOWN || code == LDAP_UNAVAILABLE) && reused_ && !answered_ && !replaced_;
}

// Made anew, once, as if it had not been idle: the call gets what a new
// connection gets. What was sent on the old one goes again when it is
// collected.
bool LdapConnection::replaceLocked(int code) {
  traceLine("the reused connection to " + target_.uri + " failed before its first answer (" + ldap_err2string(code) +
            "): connecting anew");
  replaced_ = true;
  ++handles_;
  return SUCCEEDED(setUpLocked());
}

int LdapConnection::search(const LdapSearchArgs& args, LdapSearchOutcome& outcome) {
  return use([&] { return searchLocked(args, outcome); });
}

int LdapConnection::sendSearch(const LdapSearchArgs& args, int& messageId) {
  return use([&] { return sendLocked(args, messageId); });
}

int LdapConnection::collectSearch(int messageId, const LdapSearchArgs& args, LdapSearchOutcome& outcome) {
  return use([&] { return collectLocked(messageId, args, outcome); });
}

void LdapConnection::abandonPaging(const LdapSearchArgs& args) {
  if (!args.paged || args.cookie.empty()) return;
  LdapSearchArgs last = args;
  last.pageSize = 0;  // asks for no entries and ends the paged search
  last.allAttributes = false;
  last.attributes.clear();
  LdapSearchOutcome ignored;
  use([&] { return searchLocked(last, ignored); });
}

int LdapConnection::searchLocked(const LdapSearchArgs& args, LdapSearchOutcome& outcome) {
  outcome = LdapSearchOutcome();
  int ticket = 0;
  int code = sendLocked(args, ticket);
  if (code != LDAP_SUCCESS) return code;
  return collectLocked(ticket, args, outcome);
}

int LdapConnection::sendLocked(const LdapSearchArgs& args, int& ticket) {
  ticket = 0;
  int messageId = 0;
  int code = sendOnHandleLocked(args, messageId);
  if (code != LDAP_SUCCESS) return code;
  ticket = ++lastTicket_;
  sent_[ticket] = Sent{messageId, handles_, tracing() ? Clock::now() : Clock::time_point()};
  return code;
}

int LdapConnection::sendOnHandleLocked(const LdapSearchArgs& args, int& messageId) {
  messageId = 0;
  LDAP* ld = ld_.get();
  std::vector<char*> attributes;
  static char kNoAttributes[] = LDAP_NO_ATTRS;
  if (!args.allAttributes) {
    for (const std::string& a : args.attributes) attributes.push_back(const_cast<char*>(a.c_str()));
    if (attributes.empty()) attributes.push_back(kNoAttributes);
    attributes.push_back(nullptr);
  }
  LdapControlPtr page;
  LDAPControl* serverControls[2] = {nullptr, nullptr};
  if (args.paged) {
    LDAPControl* control = nullptr;
    int code = createPageControl(static_cast<ber_int_t>(args.pageSize), args.cookie, &control);
    if (code != LDAP_SUCCESS) return code;
    page.reset(control);
    serverControls[0] = control;
  }
  int code = ldap_search_ext(ld, args.base.c_str(), args.scope, args.filter.c_str(),
                             args.allAttributes ? nullptr : attributes.data(), 0, args.paged ? serverControls : nullptr,
                             nullptr, nullptr, args.sizeLimit, &messageId);
  if (code == LDAP_SUCCESS) {
    countOperationSent();
    sentSinceWait_ = true;
  }
  return code;
}

int LdapConnection::collectLocked(int ticket, const LdapSearchArgs& args, LdapSearchOutcome& outcome) {
  outcome = LdapSearchOutcome();
  auto sent = sent_.find(ticket);
  if (sent == sent_.end()) return LDAP_PARAM_ERROR;
  if (sent->second.handle != handles_) {
    // Sent on a connection replaced since: asked again on this one.
    int code = sendOnHandleLocked(args, sent->second.messageId);
    if (code != LDAP_SUCCESS) {
      sent_.erase(sent);
      return code;
    }
    sent->second.handle = handles_;
  }
  const Sent operation = sent->second;
  int code = collectAnswerLocked(operation.messageId, args, outcome);
  // Lost with its connection, it may go again on a new one (use).
  if (!replaceable(code)) sent_.erase(ticket);
  if (tracing())
    traceLine("search " + searchText(args) + ": " + ldap_err2string(code) + ", " +
              std::to_string(outcome.entries.size()) + " entries" +
              (args.paged ? std::string(outcome.cookie.empty() ? ", last page" : ", more pages") : "") + ", " +
              std::to_string(millisecondsSince(operation.at)) + " ms");
  return code;
}

int LdapConnection::collectAnswerLocked(int messageId, const LdapSearchArgs& args, LdapSearchOutcome& outcome) {
  outcome = LdapSearchOutcome();
  if (sentSinceWait_) countRoundTrip();  // operations sent since the last wait are answered together
  sentSinceWait_ = false;
  LDAP* ld = ld_.get();
  auto deadline = Clock::now() + std::chrono::seconds(config_.timeoutSeconds);
  for (;;) {
    LDAPMessage* raw = nullptr;
    timeval wait = remainingUntil(deadline);
    int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &wait, &raw);
    LdapMessagePtr message(raw);
    if (type > 0 && type != LDAP_RES_SEARCH_RESULT) answered_ = true;
    if (type == 0) {
      ldap_abandon_ext(ld, messageId, nullptr, nullptr);
      reportSearchFailure(args, LDAP_TIMEOUT, "no answer within " + std::to_string(config_.timeoutSeconds) + " s");
      return LDAP_TIMEOUT;
    }
    if (type < 0) {
      int code = handleResultCode(ld);
      reportSearchFailure(args, code, "");
      return code;
    }
    if (type == LDAP_RES_SEARCH_ENTRY) {
      outcome.entries.push_back(readLdapEntry(ld, message.get(), args.schema));
      continue;
    }
    if (type != LDAP_RES_SEARCH_RESULT) continue;  // references: referrals are not chased
    int result = LDAP_SUCCESS;
    LDAPControl** rawControls = nullptr;
    char* rawDiagnostic = nullptr;
    int code = ldap_parse_result(ld, message.get(), &result, nullptr, &rawDiagnostic, nullptr, &rawControls, 0);
    LdapControlsPtr controls(rawControls);
    LdapStringPtr diagnostic(rawDiagnostic);
    if (code != LDAP_SUCCESS) return code;
    if (replaceable(result)) return result;  // use() connects anew
    answered_ = true;
    if (result != LDAP_SUCCESS) reportSearchFailure(args, result, rawDiagnostic ? rawDiagnostic : "");
    if (LDAPControl* response =
            controls ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls.get(), nullptr) : nullptr) {
      ber_int_t estimate = 0;
      berval cookie{0, nullptr};
      if (ldap_parse_pageresponse_control(ld, response, &estimate, &cookie) == LDAP_SUCCESS && cookie.bv_val) {
        outcome.cookie.assign(cookie.bv_val, cookie.bv_len);
        ber_memfree(cookie.bv_val);
      }
    }
    return result;
  }
}

// A search the server refused or did not answer, for the administrator: an
// object that is not there, or a size limit, is an answer, not a failure.
void LdapConnection::reportSearchFailure(const LdapSearchArgs& args, int code, const std::string& diagnostic) const {
  if (code == LDAP_NO_SUCH_OBJECT || code == LDAP_SIZELIMIT_EXCEEDED) return;
  std::string reason = ldap_err2string(code);
  if (!diagnostic.empty()) reason += " (" + diagnostic + ")";
  std::string account = activeDirectoryReason(diagnostic);
  if (!account.empty()) reason += ": " + account;
  reportLine("search under \"" + args.base + "\" for " + args.filter + " on " + target_.uri + " failed: " + reason +
             "; bound " + identity_.text());
}

}  // namespace adsi
