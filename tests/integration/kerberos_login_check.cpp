// One Kerberos login end to end, as quarlix-server will see it: a client
// (MIT GSSAPI with a user's ticket cache) makes its token for an SPN, the
// acceptor takes it with a keytab, and with --ldap the directory is read as
// the caller through the delegated credential. Prints what happened, one
// line each, for kerberos_login_test.py; the process's own default ticket
// cache is the service's, so any fall back to it would show in what is read.
//
// kerberos_login_check --keytab K --client-cache C --spn SPN [--krb5] [--hold S]
//                      [--ldap URI --base DN]
// kerberos_login_check --keytab K --token-file F      (a client's token, as it sent it)
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>
#include <ldap.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "ldap/delegated_bind.h"
#include "login/kerberos_acceptor.h"

namespace {

const gss_OID_desc kSpnego = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};

struct Client {
  GssCredential credential;
  GssName target;
  GssContext context;
  gss_OID mechanism;

  std::vector<unsigned char> step(const std::vector<unsigned char>& input) {
    gss_buffer_desc in = {input.size(), const_cast<unsigned char*>(input.data())};
    GssBuffer out;
    OM_uint32 minor = 0;
    OM_uint32 major =
        gss_init_sec_context(&minor, credential.get(), context.inout(), target.get(), mechanism,
                             GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
                             input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, out.put(), nullptr, nullptr);
    if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
    return {out.data(), out.data() + out.size()};
  }
};

// "spnego" or "krb5": the OID an initial context token (RFC 2743 3.1) starts with.
const char* tokenMechanism(const std::vector<unsigned char>& token) {
  size_t at = 1;
  if (token.size() < 2 || token[0] != 0x60) return "unknown";
  if (token[at] & 0x80) at += token[at] & 0x7f;
  ++at;
  if (at + 2 > token.size() || token[at] != 0x06) return "unknown";
  gss_OID_desc oid = {token[at + 1], const_cast<unsigned char*>(token.data() + at + 2)};
  if (at + 2 + oid.length > token.size()) return "unknown";
  return gss_oid_equal(&oid, &kSpnego) ? "spnego" : gss_oid_equal(&oid, gss_mech_krb5) ? "krb5" : "unknown";
}

Client makeClient(const std::string& cache, const std::string& spn, bool spnego) {
  Client client;
  client.mechanism = spnego ? const_cast<gss_OID>(&kSpnego) : gss_mech_krb5;
  gss_key_value_element_desc element = {"ccache", cache.c_str()};
  gss_key_value_set_desc store = {1, &element};
  OM_uint32 minor = 0;
  OM_uint32 major = gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET, GSS_C_INITIATE,
                                          &store, client.credential.put(), nullptr, nullptr);
  if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
  gss_buffer_desc name = {spn.size(), const_cast<char*>(spn.data())};
  major = gss_import_name(&minor, &name, GSS_KRB5_NT_PRINCIPAL_NAME, client.target.put());
  if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
  return client;
}

using LdapHandle = std::unique_ptr<LDAP, int (*)(LDAP*)>;

LdapHandle connect(const std::string& uri) {
  LDAP* raw = nullptr;
  ldap_initialize(&raw, uri.c_str());
  LdapHandle ld(raw, [](LDAP* l) { return ldap_unbind_ext_s(l, nullptr, nullptr); });
  int version = LDAP_VERSION3;
  ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  return ld;
}

int readAsCaller(const std::string& uri, const std::string& base, KerberosLogin& login) {
  LdapHandle ld = connect(uri);
  if (!ld) return std::printf("ldap: bad URI\n"), 5;
  GssCredential caller = login.takeDelegatedCredential();
  adsi::CallerBind bind = adsi::bindAsCaller(ld.get(), caller.get(), login.principal());
  if (bind.result != LDAP_SUCCESS) return std::printf("bind failed: %d: %s\n", bind.result, bind.reason.c_str()), 5;
  std::printf("bound as: %s\n", login.principal().c_str());
  char noAttributes[] = "1.1";
  char* attributes[] = {noAttributes, nullptr};
  LDAPMessage* found = nullptr;
  int rc = ldap_search_ext_s(ld.get(), base.c_str(), LDAP_SCOPE_SUBTREE, "(objectClass=*)", attributes, 0, nullptr,
                             nullptr, nullptr, 0, &found);
  std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> owned(found, ldap_msgfree);
  if (rc != LDAP_SUCCESS) return std::printf("search failed: %d: %s\n", rc, ldap_err2string(rc)), 6;
  for (LDAPMessage* e = ldap_first_entry(ld.get(), found); e; e = ldap_next_entry(ld.get(), e)) {
    char* dn = ldap_get_dn(ld.get(), e);
    std::printf("entry: %s\n", dn);
    ldap_memfree(dn);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--krb5") {
      options[name] = "1";
    } else if (i + 1 < argc) {
      options[name] = argv[++i];
    }
  }
  bool delegate = options.count("--ldap") > 0;
  try {
    KerberosAcceptor acceptor(options["--keytab"], delegate);
    if (delegate) std::printf("service: %s\n", acceptor.serviceName().c_str());
    if (options.count("--token-file")) {
      std::ifstream file(options["--token-file"], std::ios::binary);
      std::vector<unsigned char> token{std::istreambuf_iterator<char>(file), {}};
      KerberosLogin login = acceptor.beginLogin();
      if (!login.accept(token.data(), token.size()).complete) return std::printf("continued\n"), 0;
      return std::printf("accepted: %s\n", login.principal().c_str()), 0;
    }
    Client client = makeClient(options["--client-cache"], options["--spn"], options.count("--krb5") == 0);
    std::vector<unsigned char> token;
    try {
      token = client.step({});
    } catch (const KerberosFailure& failure) {
      return std::printf("client failed: %s\n", failure.what()), 3;
    }
    std::printf("token: %s, %zu bytes\n", tokenMechanism(token), token.size());
    if (options.count("--hold")) sleep(static_cast<unsigned>(std::stoul(options["--hold"])));
    KerberosLogin login = acceptor.beginLogin();
    for (;;) {
      KerberosLogin::Step step = login.accept(token.data(), token.size());
      if (!step.reply.empty()) token = client.step(step.reply);
      if (step.complete) break;
    }
    std::printf("accepted: %s\n", login.principal().c_str());
    if (delegate) return readAsCaller(options["--ldap"], options["--base"], login);
    return 0;
  } catch (const KerberosFailure& failure) {
    std::printf("refused: %s\n", failure.what());
    return 4;
  }
}
