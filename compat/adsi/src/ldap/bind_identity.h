// Who a connection binds as. The procedure never takes credentials, so the
// stand-in binds as its configuration and the platform say, by the first of
// these rules that applies (docs/directories.md, "Identity"):
//   0 the host set the call's caller (AdsCompatBindAsCaller): SASL GSSAPI
//     with the caller's credential, whatever the configuration names
//   1 sasl_mech in the configuration: SASL with that mechanism
//   2 binddn (with bindpw or bindpw_file): a simple bind
//   3 an ldapi:// server: SASL EXTERNAL
//   4 KRB5CCNAME names a ticket cache: SASL GSSAPI with it
//   5 the default ticket cache file exists: SASL GSSAPI with it
//   6 otherwise: anonymously
// An identity a rule asks for and that cannot be used is never replaced in
// silence: a ticket cache that is missing, expired or empty fails the call
// with the reason, or (rules 4 and 5, with `ticket_cache_fallback
// anonymous`) gives an anonymous bind and a line that says so; the caller's
// identity is never replaced at all.
#pragma once

#include <string>

#include "ldap/adsi_config.h"
#include "ldap/caller_login.h"

namespace adsi {

enum class BindKind { Anonymous, Simple, Sasl, Caller };

enum class IdentityRule {
  Caller = 0,
  SaslMechanism = 1,
  BindDn = 2,
  LdapiSocket = 3,
  TicketCacheNamed = 4,
  TicketCacheDefault = 5,
  Nothing = 6,
};

// What binds, as a value: two connections with equal identities bind alike
// (a connection pool keys on it). The password itself is not part of it.
struct BindIdentity {
  BindKind kind = BindKind::Anonymous;
  std::string bindDn;          // Simple
  std::string passwordSource;  // Simple: "bindpw in FILE" or the password file
  std::string mechanism;       // Sasl
  std::string ticketCache;     // GSSAPI: the cache's name ("FILE:/tmp/krb5cc_0")
  std::string principal;       // Caller: whose login
  void* credential = nullptr;  // Caller: the login's credential (gss_cred_id_t); a new login's is a new identity
  IdentityRule rule = IdentityRule::Nothing;
  bool fellBack = false;   // anonymous because the rule's ticket cache cannot be used
  std::string ruleSource;  // the configuration file behind the rule, if any

  bool operator==(const BindIdentity& other) const;
  bool operator!=(const BindIdentity& other) const { return !(*this == other); }
  bool operator<(const BindIdentity& other) const;

  // "as DN (simple bind, password from FILE) [identity rule 2: binddn in
  // FILE]", "with Kerberos (SASL GSSAPI, ticket cache C) [identity rule 4:
  // KRB5CCNAME names the ticket cache]", "anonymously [identity rule 6: no
  // identity configured, no ticket cache]", "as the caller dave@QX.TEST
  // (Kerberos, the login's delegated credential, signed and sealed)
  // [identity rule 0: the host runs the call as its caller]".
  std::string text() const;
  // The bracket alone: "[identity rule N: why]".
  std::string ruleText() const;
};

// Where the environment puts the Kerberos ticket cache.
struct TicketCacheLocation {
  std::string name;      // KRB5CCNAME's value, or the default cache's name
  bool named = false;    // KRB5CCNAME names it
  bool present = false;  // named, or the default cache file exists
};

// Why GSSAPI cannot use the cache the environment names now ("" when it
// can); see ticket_cache.h.
using TicketCacheCheck = std::string (*)();

// The identity for a connection to `uri`, as `caller` (null: none set) or
// else by the configuration and the ticket cache. Returns false with
// `problem` set when the chosen identity cannot be used; `notice` is set when
// the rules fell back to anonymous, which the host's administrator is told.
bool chooseIdentity(const std::string& uri, const AdsiConfig& config, const CallerLogin* caller,
                    const TicketCacheLocation& cache, TicketCacheCheck check, BindIdentity& identity,
                    std::string& problem, std::string& notice);

}  // namespace adsi
