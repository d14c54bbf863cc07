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
  return std::tie(i.kind, i.bindDn, i.passwordSource, i.mechanism, i.ticketCache, i.rule, i.fellBack, i.ruleSource);
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
  }
  return who + " " + ruleText();
}

std::string BindIdentity::ruleText() const {
  std::string why;
  switch (rule) {
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

bool chooseIdentity(const std::string& uri, const AdsiConfig& config, const TicketCacheLocation& cache,
                    TicketCacheCheck check, BindIdentity& identity, std::string& problem, std::string& notice) {
  identity = BindIdentity();
  problem.clear();
  notice.clear();
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
    return true;
  } else if (uri.rfind("ldapi:", 0) == 0) {
    identity.kind = BindKind::Sasl;
    identity.mechanism = "EXTERNAL";
    identity.rule = IdentityRule::LdapiSocket;
    return true;
  } else if (cache.present) {
    identity.kind = BindKind::Sasl;
    identity.mechanism = "GSSAPI";
    identity.rule = cache.named ? IdentityRule::TicketCacheNamed : IdentityRule::TicketCacheDefault;
  } else {
    identity.rule = IdentityRule::Nothing;
    return true;
  }
  if (!isGssapi(identity.mechanism)) return true;
  identity.ticketCache = cache.name;
  const std::string unusable = check();
  if (unusable.empty()) return true;
  const std::string why = identity.rule == IdentityRule::SaslMechanism
                              ? "sasl_mech " + identity.mechanism + " in " + config.source + " asks for Kerberos"
                              : cacheOrigin(cache);
  const std::string reason = why + ", and it cannot be used: " + unusable;
  if (identity.rule != IdentityRule::SaslMechanism && config.ticketCacheFallback == TicketCacheFallback::Anonymous) {
    const IdentityRule rule = identity.rule;
    identity = BindIdentity();
    identity.rule = rule;
    identity.fellBack = true;
    identity.ruleSource = config.source;
    notice = reason + "; binding anonymously " + identity.ruleText();
    return true;
  }
  std::string remedy = identity.rule == IdentityRule::SaslMechanism
                           ? "get a ticket (kinit), or name a keytab in KRB5_CLIENT_KTNAME"
                       : identity.rule == IdentityRule::TicketCacheNamed
                           ? "get a ticket (kinit), unset KRB5CCNAME, or allow anonymous reads with "
                             "ticket_cache_fallback anonymous"
                           : "get a ticket (kinit), remove the cache (kdestroy), or allow anonymous reads with "
                             "ticket_cache_fallback anonymous";
  problem = reason + "; the call fails (" + remedy + ") " + identity.ruleText();
  return false;
}

}  // namespace adsi
