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
  identity = firstRule(uri, config, cache);
  problem.clear();
  notice.clear();
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
