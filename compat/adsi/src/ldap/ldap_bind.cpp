#include "ldap/ldap_bind.h"

#include <sasl/sasl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace adsi {
namespace {

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// SASL prompts get their defaults: the mechanisms used here (EXTERNAL,
// GSSAPI) take the identity from the socket or the ticket cache.
int answerWithDefaults(LDAP*, unsigned, void*, void* prompts) {
  for (auto* p = static_cast<sasl_interact_t*>(prompts); p && p->id != SASL_CB_LIST_END; ++p) {
    p->result = p->defresult ? p->defresult : "";
    p->len = static_cast<unsigned>(std::char_traits<char>::length(static_cast<const char*>(p->result)));
  }
  return LDAP_SUCCESS;
}

}  // namespace

BindIdentity chooseIdentity(const std::string& uri, const AdsiConfig& config, bool kerberosTicketCache) {
  if (!config.saslMechanism.empty()) return {BindKind::Sasl, config.saslMechanism};
  if (!config.bindDn.empty()) return {BindKind::Simple, ""};
  if (uri.rfind("ldapi:", 0) == 0) return {BindKind::Sasl, "EXTERNAL"};
  if (kerberosTicketCache) return {BindKind::Sasl, "GSSAPI"};
  return {BindKind::Anonymous, ""};
}

bool kerberosTicketCachePresent() {
  if (const char* named = std::getenv("KRB5CCNAME"); named && *named) {
    std::string cache = named;
    if (cache.rfind("FILE:", 0) == 0) return fileExists(cache.substr(5));
    if (cache.find(':') == std::string::npos) return fileExists(cache);
    return true;  // KEYRING:, KCM:, DIR: ... are there when named
  }
  return fileExists("/tmp/krb5cc_" + std::to_string(getuid()));
}

int bindConnection(LDAP* ld, const std::string& uri, const AdsiConfig& config) {
  BindIdentity identity = chooseIdentity(uri, config, kerberosTicketCachePresent());
  switch (identity.kind) {
    case BindKind::Simple: {
      berval password;
      password.bv_val = const_cast<char*>(config.bindPassword.c_str());
      password.bv_len = config.bindPassword.size();
      return ldap_sasl_bind_s(ld, config.bindDn.c_str(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr);
    }
    case BindKind::Sasl:
      return ldap_sasl_interactive_bind_s(ld, nullptr, identity.mechanism.c_str(), nullptr, nullptr, LDAP_SASL_QUIET,
                                          answerWithDefaults, nullptr);
    case BindKind::Anonymous:
    default: return LDAP_SUCCESS;
  }
}

}  // namespace adsi
