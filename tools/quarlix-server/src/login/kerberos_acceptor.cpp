#include "login/kerberos_acceptor.h"

#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// Every NTLM message starts with this, raw or inside SPNEGO.
constexpr char kNtlmSignature[] = "NTLMSSP";  // and its NUL

bool holdsNtlm(const unsigned char* token, size_t size) {
  const auto* end = token + size;
  return std::search(token, end, kNtlmSignature, kNtlmSignature + sizeof kNtlmSignature) != end;
}

// Kerberos under the OIDs clients name it by: RFC 4121's and Microsoft's.
bool isKerberos(gss_OID mech) {
  return mech != GSS_C_NO_OID && (gss_oid_equal(mech, gss_mech_krb5) || gss_oid_equal(mech, gss_mech_krb5_wrong) ||
                                  gss_oid_equal(mech, gss_mech_krb5_old));
}

std::string displayName(gss_name_t name) {
  OM_uint32 minor = 0;
  GssBuffer text;
  if (GSS_ERROR(gss_display_name(&minor, name, text.put(), nullptr))) return {};
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string statusLines(OM_uint32 code, int type) {
  std::string text;
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    GssBuffer line;
    if (GSS_ERROR(gss_display_status(&minor, code, type, GSS_C_NO_OID, &context, line.put()))) break;
    if (!text.empty()) text += "; ";
    text.append(reinterpret_cast<const char*>(line.data()), line.size());
  } while (context != 0);
  return text;
}

// A MEMORY ccache of the acceptor's own: the account's tickets never meet
// the process's default cache, nor another acceptor's.
std::string ownCacheName() {
  static std::atomic<unsigned> made{0};
  return "MEMORY:quarlix-acceptor-" + std::to_string(getpid()) + "-" + std::to_string(++made);
}

}  // namespace

std::string gssStatusText(OM_uint32 major, OM_uint32 minor) {
  std::string mechanism = minor != 0 ? statusLines(minor, GSS_C_MECH_CODE) : std::string();
  // GSS_S_FAILURE only points at the minor code; the other majors say something.
  if (GSS_ROUTINE_ERROR(major) == GSS_S_FAILURE && !mechanism.empty()) return mechanism;
  std::string text = statusLines(major, GSS_C_GSS_CODE);
  return mechanism.empty() ? text : text + ": " + mechanism;
}

KerberosAcceptor::KerberosAcceptor(const std::string& keytab, bool delegation) : delegation_(delegation) {
  std::string cache = ownCacheName();
  gss_key_value_element_desc elements[] = {
      {"keytab", keytab.c_str()}, {"client_keytab", keytab.c_str()}, {"ccache", cache.c_str()}};
  gss_key_value_set_desc store = {delegation ? 3u : 1u, elements};
  OM_uint32 minor = 0;
  OM_uint32 major =
      gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET,
                            delegation ? GSS_C_BOTH : GSS_C_ACCEPT, &store, credential_.put(), nullptr, nullptr);
  if (GSS_ERROR(major)) throw KerberosFailure("keytab " + keytab + ": " + gssStatusText(major, minor));
  // SPNEGO may agree on Kerberos only, whatever other mechanisms GSSAPI has.
  gss_OID_desc kerberos[] = {*gss_mech_krb5, *gss_mech_krb5_wrong, *gss_mech_krb5_old};
  gss_OID_set_desc allowed = {3, kerberos};
  major = gss_set_neg_mechs(&minor, credential_.get(), &allowed);
  if (GSS_ERROR(major)) throw KerberosFailure("keytab " + keytab + ": " + gssStatusText(major, minor));
  if (delegation) {
    GssName name;
    major = gss_inquire_cred(&minor, credential_.get(), name.put(), nullptr, nullptr, nullptr);
    if (GSS_ERROR(major)) throw KerberosFailure("keytab " + keytab + ": " + gssStatusText(major, minor));
    serviceName_ = displayName(name.get());
  }
}

KerberosLogin KerberosAcceptor::beginLogin() const { return KerberosLogin(credential_.get()); }

KerberosLogin::Step KerberosLogin::accept(const unsigned char* token, size_t size) {
  if (holdsNtlm(token, size)) {
    throw KerberosFailure("the client offered NTLM, which is not accepted: a Kerberos ticket is needed");
  }
  gss_buffer_desc input = {size, const_cast<unsigned char*>(token)};
  GssName client;
  gss_OID mechanism = GSS_C_NO_OID;
  GssBuffer output;
  OM_uint32 minor = 0;
  OM_uint32 major =
      gss_accept_sec_context(&minor, context_.inout(), acceptorCredential_, &input, GSS_C_NO_CHANNEL_BINDINGS,
                             client.put(), &mechanism, output.put(), nullptr, nullptr, delegated_.put());
  if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
  Step step;
  step.reply.assign(output.data(), output.data() + output.size());
  step.complete = !(major & GSS_S_CONTINUE_NEEDED);
  if (!step.complete) return step;
  if (!isKerberos(mechanism)) {
    delegated_.reset();
    throw KerberosFailure("the client's mechanism is not Kerberos");
  }
  principal_ = displayName(client.get());
  if (principal_.empty()) throw KerberosFailure("the client's principal has no name");
  return step;
}
