// One session with an LDAP server: a libldap handle that is connected,
// protected with TLS as configured and bound with the process's identity.
// A handle must not be used by two threads at once, so every operation runs
// under the connection's lock, and an operation runs to its end before the
// lock is released (a paged search is one operation per page; the next page
// may be asked for before the current one is used, and read later).
#pragma once

#include <ldap.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ldap/adsi_config.h"
#include "ldap/bind_identity.h"
#include "ldap/handshake_wait.h"
#include "ldap/ldap_holders.h"
#include "ldap/ldap_target.h"
#include "schema/schema.h"
#include "store/directory_entry.h"

namespace adsi {

// What the server says of itself (the root DSE), as far as it shows it.
struct RootDse {
  bool read = false;
  std::string defaultNamingContext;
  std::vector<std::string> namingContexts;
  std::string subschemaSubentry;
  std::vector<std::string> supportedExtensions;
};

// What the connect callback records of a handle's socket.
struct LdapSocketState {
  bool connected = false;  // the socket reached the server
  HandshakeWait wait;      // bounds a TLS handshake (handshake_wait.h)
};

struct LdapSearchArgs {
  std::string base;
  int scope = LDAP_SCOPE_SUBTREE;
  std::string filter = "(objectClass=*)";
  bool allAttributes = true;            // all user attributes
  std::vector<std::string> attributes;  // otherwise these (none: "1.1")
  int sizeLimit = 0;
  bool paged = false;  // with the paged-results control (RFC 2696)
  uint32_t pageSize = 0;
  std::string cookie;              // the server's cookie for the next page
  const Schema* schema = nullptr;  // types the values; null: all strings
};

struct LdapSearchOutcome {
  std::vector<EntryPtr> entries;
  std::string cookie;  // paged: the next page's cookie; empty after the last
};

class LdapConnection {
 public:
  // Connects to `target`, tries StartTLS as configured and binds as
  // `identity` (ldap_bind.h: resolveIdentity); a
  // connection that cannot be set up within the time-outs fails with
  // ERROR_DS_SERVER_DOWN. When TLS fails the reason goes to the standard
  // error; only an anonymous connection then goes on in clear text (with
  // `starttls try`), never a bind that presents credentials.
  static HRESULT open(const LdapTarget& target, const AdsiConfig& config, const BindIdentity& identity,
                      std::shared_ptr<LdapConnection>& connection);

  // One search operation, to its end (the result message). Returns the LDAP
  // result code; LDAP_TIMEOUT when the operation time-out passed.
  int search(const LdapSearchArgs& args, LdapSearchOutcome& outcome);

  // The same in two steps, so that the server works on a page while the
  // caller uses the previous one: sendSearch sends the operation and gives
  // the ticket to collect it by; collectSearch reads its answer to the end,
  // with the operation time-out counted from then, given the same arguments.
  // Every sent search must be collected.
  int sendSearch(const LdapSearchArgs& args, int& ticket);
  int collectSearch(int ticket, const LdapSearchArgs& args, LdapSearchOutcome& outcome);

  // Ends a paged search the caller stops reading early (RFC 2696: a page
  // size of 0 with the cookie), so the server can drop its state.
  void abandonPaging(const LdapSearchArgs& args);

  const RootDse& rootDse() const { return rootDse_; }
  const LdapTarget& target() const { return target_; }
  // The server's schema (ldap_schema_cache.h), read with the connection's
  // first user and kept with it. Not for two threads at once.
  std::shared_ptr<const Schema> schema();

  // For the pool (connection_pool.h), which lends a connection to one user
  // at a time. In order for the next user: the server has not been lost and
  // every operation sent has been collected.
  bool reusable();
  // The server has not closed the connection meanwhile (read without
  // waiting: an end of stream, or a notice of disconnection, says it has).
  bool stillOpen();
  // A new user takes the connection: when the server turns out to have
  // closed it, or answers that it is unavailable (shutting down), before its
  // first answer to this user, the connection is made anew, once, and what
  // was sent goes again (use).
  void beginReuse();
  std::chrono::steady_clock::time_point openedAt() const { return openedAt_; }

 private:
  using Clock = std::chrono::steady_clock;
  // A search sent and not collected yet, by its ticket.
  struct Sent {
    int messageId;
    unsigned handle;       // the handle it went on (handles_ then)
    Clock::time_point at;  // when, for the trace
  };

  LdapConnection(const LdapTarget& target, const AdsiConfig& config, const BindIdentity& identity)
      : target_(target), config_(config), identity_(identity) {}
  // Connects, protects and binds (establish), going on in clear text where
  // the configuration lets it; the failure line goes to the standard error.
  HRESULT setUpLocked();
  bool replaceable(int code) const;
  bool replaceLocked(int code);
  // One attempt to connect, protect and bind; `tlsFailure` receives why TLS
  // (ldaps:// or StartTLS) failed, empty when it did not.
  int establish(bool startTls, std::string& tlsFailure);
  int newHandle(bool checkCertificate = true);
  // Connects the handle (over ldaps:// with the TLS handshake) within the
  // network time-out.
  int connectHandle();
  int runStartTls();
  int bindLocked();
  int readRootDse();
  bool shouldStartTls() const;
  bool tlsConfiguredHere() const;
  int startTlsStep(std::string& tlsFailure);
  std::string tlsFailureText(int code) const;
  std::string failureText(int code) const;
  void reportSearchFailure(const LdapSearchArgs& args, int code, const std::string& diagnostic) const;
  std::string certificateFaults();
  // Runs one operation under the lock. A connection that lost its server, or
  // on which an operation timed out, is not used again: every later operation
  // of the call (a member read, a child's GetInfo) would write to a dead
  // socket or wait out the time-out once more.
  template <class Operation>
  int use(Operation operation);
  int searchLocked(const LdapSearchArgs& args, LdapSearchOutcome& outcome);
  int sendLocked(const LdapSearchArgs& args, int& ticket);
  int sendOnHandleLocked(const LdapSearchArgs& args, int& messageId);
  int collectLocked(int ticket, const LdapSearchArgs& args, LdapSearchOutcome& outcome);
  int collectAnswerLocked(int messageId, const LdapSearchArgs& args, LdapSearchOutcome& outcome);

  LdapTarget target_;
  AdsiConfig config_;
  BindIdentity identity_;
  std::mutex mutex_;             // guards the handle
  LdapSocketState socket_;       // outlives the handle, whose socket layers point at it
  ldap_conncb connectCallback_;  // outlives the handle, which calls it at its end
  LdapHandlePtr ld_;
  RootDse rootDse_;
  std::string step_;                 // the step of set-up under way, for the failure line
  std::string tlsUsed_;              // how the connection is protected, for the failure line
  bool reachable_ = true;            // false once an operation found no server or timed out
  int lostWith_ = LDAP_SERVER_DOWN;  // that operation's result
  bool sentSinceWait_ = false;       // an operation was sent since the last collect (ldap_traffic.h)
  std::unordered_map<int, Sent> sent_;
  int lastTicket_ = 0;
  unsigned handles_ = 0;  // handles replaced so far
  Clock::time_point openedAt_;
  bool reused_ = false;    // lent again by the pool
  bool answered_ = false;  // an answer came since (other than "unavailable")
  bool replaced_ = false;  // made anew since
  std::shared_ptr<const Schema> schema_;
};

}  // namespace adsi
