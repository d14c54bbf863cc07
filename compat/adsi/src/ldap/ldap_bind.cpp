#include "ldap/ldap_bind.h"

#include <sasl/sasl.h>

#include "diagnostics.h"
#include "ldap/delegated_bind.h"
#include "ldap/ldap_error_map.h"
#include "ldap/ticket_cache.h"

namespace adsi {
namespace {

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

bool resolveIdentity(const std::string& uri, const AdsiConfig& config, BindIdentity& identity, HRESULT& hr) {
  std::string problem, notice;
  hr = S_OK;
  if (!chooseIdentity(uri, config, currentCaller(), locateTicketCache(), ticketCacheProblem, identity, problem,
                      notice)) {
    reportLine("cannot bind to " + uri + ": " + problem);
    // What the bind itself would have met: no credentials to start with.
    hr = hresultFromLdapSetup(LDAP_LOCAL_ERROR);
    return false;
  }
  if (!notice.empty()) reportLine(uri + ": " + notice);
  return true;
}

int bindConnection(LDAP* ld, const BindIdentity& identity, const AdsiConfig& config) {
  switch (identity.kind) {
    case BindKind::Simple: {
      berval password;
      password.bv_val = const_cast<char*>(config.bindPassword.c_str());
      password.bv_len = config.bindPassword.size();
      return ldap_sasl_bind_s(ld, identity.bindDn.c_str(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr);
    }
    case BindKind::Sasl:
      if (ldap_tls_inplace(ld)) {
        // TLS protects the connection already; a security layer inside it is
        // what Active Directory refuses.
        static char kNoLayer[] = "maxssf=0";
        ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, kNoLayer);
      }
      return ldap_sasl_interactive_bind_s(ld, nullptr, identity.mechanism.c_str(), nullptr, nullptr, LDAP_SASL_QUIET,
                                          answerWithDefaults, nullptr);
    case BindKind::Caller:
      return bindAsCaller(ld, static_cast<gss_cred_id_t>(identity.credential), identity.principal).result;
    case BindKind::Anonymous:
    default: return LDAP_SUCCESS;
  }
}

}  // namespace adsi
