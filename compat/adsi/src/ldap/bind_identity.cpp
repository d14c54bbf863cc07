#include "ldap/bind_identity.h"

#include <tuple>

namespace adsi {
namespace {

bool isGssapi(const std::string& mechanism) {
  if (mechanism.size() != 6) return false;
  for (size_t i = 0; i < 6; ++i)
    if ((mechanism[i] & ~0x20) != "GSSAPI"[i]) return false;
  return true;
}

std::string cacheOrigin(const TicketCacheLocation& cache) {
  return cache.named ? "KRB5CCNAME names the ticket cache " + cache.name
                     : "the default ticket cache " + cache.name + " exists";
}

auto fields(const BindIdentity& i) {
  return std::tie(i.kind, i.bindDn, i.passwordSource, i.mechanism, i.ticketCache, i.principal, i.credential, i.rule,
                  i.fellBack, i.ruleSource);
}

// The identity of the first rule that applies, before anything is checked.
BindIdentity firstRule(const std::string& uri, const AdsiConfig& config, const TicketCacheLocation& cache) {
  BindIdentity identity;
  if (!config.saslMechanism.empty()) {
    identity.kind = BindKind::Sasl;
    identity.mechanism = config.saslMechanism;
    identity.rule = IdentityRule::SaslMechanism;
    identity.ruleSource = config.source;
  } else if (!config.bindDn.empty()) {
    identity.kind = BindKind::Simple;
    identity.bindDn = config.bindDn;
    identity.passwordSource = config.passwordSource;
    identity.rule = IdentityRule::BindDn;
    identity.ruleSource = config.source;
  } else if (uri.rfind("ldapi:", 0) == 0) {
    identity.kind = BindKind::Sasl;
    identity.mechanism = "EXTERNAL";
    identity.rule = IdentityRule::LdapiSocket;
  } else if (cache.present) {
    identity.kind = BindKind::Sasl;
    identity.mechanism = "GSSAPI";
    identity.rule = cache.named ? IdentityRule::TicketCacheNamed : IdentityRule::TicketCacheDefault;
  }
  if (isGssapi(identity.mechanism)) identity.ticketCache = cache.name;
  return identity;
}

// Why the caller's bind cannot be made on a connection to `uri` as
// `config` sets it up, "" when it can: a Kerberos bind inside TLS is
// refused by domain controllers (Samba with its default `ldap server require
// strong auth`; Active Directory refuses GSSAPI's own signing and sealing
// there), and the caller's bind signs and seals.
std::string callerTlsProblem(const std::string& uri, const AdsiConfig& config) {
  std::string asks;
  if (uri.rfind("ldaps:", 0) == 0) {
    asks = "the path asks for TLS (" + uri + ")";
  } else if (config.startTls == StartTlsMode::Demand) {
    asks = "starttls demand in " + config.source + " asks for TLS";
  } else if (!config.tlsCaCert.empty() || config.tlsRequireCert >= 0) {
    asks =
        std::string(config.tlsCaCert.empty() ? "tls_reqcert" : "tls_cacert") + " in " + config.source + " sets up TLS";
  }
  if (asks.empty()) return "";
  return asks +
         ", and a bind as the caller cannot be made inside TLS (Kerberos, signed and sealed by GSSAPI, "
         "on ldap:// without TLS); the call fails (use an LDAP:// path on port 389 or 3268, and no "
         "tls_cacert, tls_reqcert or starttls demand)";
}

// What to do about it, for the rule that asked for the cache.
std::string remedy(IdentityRule rule) {
  switch (rule) {
    case IdentityRule::SaslMechanism: return "get a ticket (kinit), or name a keytab in KRB5_CLIENT_KTNAME";
    case IdentityRule::TicketCacheNamed:
      return "get a ticket (kinit), unset KRB5CCNAME, or allow anonymous reads with ticket_cache_fallback anonymous";
    default:
      return "get a ticket (kinit), remove the cache (kdestroy), or allow anonymous reads with ticket_cache_fallback "
             "anonymous";
  }
}

}  // namespace

bool BindIdentity::operator==(const BindIdentity& other) const { return fields(*this) == fields(other); }
bool BindIdentity::operator<(const BindIdentity& other) const { return fields(*this) < fields(other); }

std::string BindIdentity::text() const {
  std::string who;
  switch (kind) {
    case BindKind::Simple: who = "as " + bindDn + " (simple bind, password from " + passwordSource + ")"; break;
    case BindKind::Sasl:
      who = isGssapi(mechanism) ? "with Kerberos (SASL GSSAPI, ticket cache " + ticketCache + ")"
                                : "with SASL " + mechanism;
      break;
    case BindKind::Anonymous: who = "anonymously"; break;
    case BindKind::Caller:
      who = "as the caller " + principal + " (Kerberos, the login's delegated credential, signed and sealed)";
      break;
  }
  return who + " " + ruleText();
}

std::string BindIdentity::ruleText() const {
  std::string why;
  switch (rule) {
    case IdentityRule::Caller: why = "the host runs the call as its caller"; break;
    case IdentityRule::SaslMechanism: why = "sasl_mech in " + ruleSource; break;
    case IdentityRule::BindDn: why = "binddn in " + ruleSource; break;
    case IdentityRule::LdapiSocket: why = "an ldapi:// server"; break;
    case IdentityRule::TicketCacheNamed: why = "KRB5CCNAME names the ticket cache"; break;
    case IdentityRule::TicketCacheDefault: why = "the default ticket cache exists"; break;
    case IdentityRule::Nothing: why = "no identity configured, no ticket cache"; break;
  }
  if (fellBack) why += ", which cannot be used; ticket_cache_fallback anonymous in " + ruleSource;
  return "[identity rule " + std::to_string(static_cast<int>(rule)) + ": " + why + "]";
}

bool chooseIdentity(const std::string& uri, const AdsiConfig& config, const CallerLogin* caller,
                    const TicketCacheLocation& cache, TicketCacheCheck check, BindIdentity& identity,
                    std::string& problem, std::string& notice) {
  problem.clear();
  notice.clear();
  if (caller) {
    // Nothing the configuration names stands in for the caller.
    identity = BindIdentity();
    identity.kind = BindKind::Caller;
    identity.rule = IdentityRule::Caller;
    identity.principal = caller->principal;
    identity.credential = caller->credential;
    problem = callerTlsProblem(uri, config);
    if (problem.empty()) return true;
    problem += " " + identity.ruleText();
    return false;
  }
  identity = firstRule(uri, config, cache);
  if (identity.kind != BindKind::Sasl || !isGssapi(identity.mechanism)) return true;
  const std::string unusable = check();
  if (unusable.empty()) return true;
  const bool explicitChoice = identity.rule == IdentityRule::SaslMechanism;
  const std::string reason =
      (explicitChoice ? "sasl_mech " + identity.mechanism + " in " + config.source + " asks for Kerberos"
                      : cacheOrigin(cache)) +
      ", and it cannot be used: " + unusable;
  if (!explicitChoice && config.ticketCacheFallback == TicketCacheFallback::Anonymous) {
    BindIdentity anonymous;
    anonymous.rule = identity.rule;
    anonymous.fellBack = true;
    anonymous.ruleSource = config.source;
    identity = anonymous;
    notice = reason + "; binding anonymously " + identity.ruleText();
    return true;
  }
  problem = reason + "; the call fails (" + remedy(identity.rule) + ") " + identity.ruleText();
  return false;
}

}  // namespace adsi
