#include "ldap/delegated_bind.h"

#include <sasl/sasl.h>

#include <memory>

namespace adsi {
namespace {

struct BindState {
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  bool credentialSet = false;
  std::string refusal;
};

// The GSSAPI mechanism asks for an authorization name before its first
// token: the SASL context exists by then, and the credential is handed to it
// here. Any other prompt, or a credential SASL does not take, ends the bind
// (libldap then fails it with LDAP_LOCAL_ERROR) before a token is made.
int handCredential(LDAP* ld, unsigned, void* defaults, void* prompts) {
  auto* state = static_cast<BindState*>(defaults);
  if (!state->credentialSet) {
    if (ldap_set_option(ld, LDAP_OPT_X_SASL_GSS_CREDS, state->credential) != LDAP_OPT_SUCCESS) {
      state->refusal = "SASL took no credential of the caller's";
      return LDAP_LOCAL_ERROR;
    }
    state->credentialSet = true;
  }
  for (auto* p = static_cast<sasl_interact_t*>(prompts); p && p->id != SASL_CB_LIST_END; ++p) {
    if (p->id != SASL_CB_USER) {
      state->refusal = "the SASL mechanism asked for more than the caller's ticket";
      return LDAP_LOCAL_ERROR;
    }
    p->result = "";  // the authorization name is the authenticated one
    p->len = 0;
  }
  return LDAP_SUCCESS;
}

std::string diagnostic(LDAP* ld) {
  char* text = nullptr;
  ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text);
  std::unique_ptr<char, decltype(&ldap_memfree)> owned(text, ldap_memfree);
  return text ? text : "";
}

// What the KDC's refusal of S4U2Proxy means for whoever set the service up.
constexpr const char* kNoDelegation = "KDC can't fulfill requested option";
constexpr const char* kNoDelegationMeaning =
    ": the KDC gives the service no ticket to the directory on the caller's behalf (the service's account may not "
    "delegate to this server's LDAP service, msDS-AllowedToDelegateTo; or the caller's ticket is not forwardable)";

// A failed bind, with its reason also in the handle's diagnostic message,
// where the failure lines of a connection read it.
CallerBind failed(LDAP* ld, int result, const std::string& why) {
  ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, why.c_str());
  return {result, ldap_err2string(result) + std::string(" (") + why + ")"};
}

}  // namespace

CallerBind bindAsCaller(LDAP* ld, gss_cred_id_t credential, const std::string& principal) {
  if (credential == GSS_C_NO_CREDENTIAL) {
    return failed(ld, LDAP_LOCAL_ERROR, "there is no credential of " + principal + " to bind with");
  }
  BindState state;
  state.credential = credential;
  int result =
      ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, handCredential, &state);
  if (!state.refusal.empty()) return failed(ld, result == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : result, state.refusal);
  if (result != LDAP_SUCCESS) {
    std::string said = diagnostic(ld);
    if (said.find(kNoDelegation) != std::string::npos) return failed(ld, result, said + kNoDelegationMeaning);
    return {result, ldap_err2string(result) + (said.empty() ? std::string() : " (" + said + ")")};
  }
  // The proof that the caller's credential made the bind: SASL names its principal.
  char* authenticated = nullptr;
  if (!state.credentialSet || ldap_get_option(ld, LDAP_OPT_X_SASL_USERNAME, &authenticated) != LDAP_OPT_SUCCESS ||
      authenticated == nullptr) {
    return failed(ld, LDAP_LOCAL_ERROR, "SASL does not say whom the bind authenticated");
  }
  std::unique_ptr<char, decltype(&ldap_memfree)> owned(authenticated, ldap_memfree);
  const std::string name = authenticated;
  if (name != principal) return failed(ld, LDAP_LOCAL_ERROR, "the bind authenticated " + name + ", not " + principal);
  return {};
}

}  // namespace adsi
