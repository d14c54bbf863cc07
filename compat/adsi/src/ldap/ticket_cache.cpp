#include "ldap/ticket_cache.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <krb5/krb5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace adsi {
namespace {

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// GSSAPI's words for a status code, its parts joined with "; ".
std::string statusText(OM_uint32 code, int type, gss_OID mechanism) {
  std::string text;
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    gss_buffer_desc buffer{0, nullptr};
    if (gss_display_status(&minor, code, type, mechanism, &context, &buffer) != GSS_S_COMPLETE) break;
    text += (text.empty() ? "" : "; ") + std::string(static_cast<const char*>(buffer.value), buffer.length);
    gss_release_buffer(&minor, &buffer);
  } while (context != 0);
  return text;
}

// Why the cache the environment names cannot be read at all ("" when it
// can, or is not there: GSSAPI may then start from a client keytab). A cache
// that does not read is not handed to GSSAPI, which fails on some of them
// without a word of its own (MIT krb5 1.20 crashes on an empty cache file).
std::string unreadableCache() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return "Kerberos cannot start (is krb5.conf readable?)";
  krb5_ccache cache = nullptr;
  krb5_principal principal = nullptr;
  krb5_error_code code = krb5_cc_default(context, &cache);
  if (code == 0) code = krb5_cc_get_principal(context, cache, &principal);
  std::string text;
  if (code != 0 && code != KRB5_FCC_NOFILE && code != KRB5_CC_NOTFOUND) {
    const char* message = krb5_get_error_message(context, code);
    text = message;
    krb5_free_error_message(context, message);
  }
  if (principal) krb5_free_principal(context, principal);
  if (cache) krb5_cc_close(context, cache);
  krb5_free_context(context);
  return text;
}

}  // namespace

TicketCacheLocation locateTicketCache() {
  TicketCacheLocation cache;
  if (const char* named = std::getenv("KRB5CCNAME"); named && *named) {
    cache.name = named;
    cache.named = cache.present = true;
    return cache;
  }
  const std::string file = "/tmp/krb5cc_" + std::to_string(getuid());
  cache.name = "FILE:" + file;
  cache.present = fileExists(file);
  return cache;
}

std::string ticketCacheProblem() {
  if (std::string unreadable = unreadableCache(); !unreadable.empty()) return unreadable;
  OM_uint32 minor = 0;
  OM_uint32 lifetime = 0;
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  gss_OID_set_desc kerberos{1, gss_mech_krb5};
  const OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &kerberos, GSS_C_INITIATE,
                                           &credential, nullptr, &lifetime);
  if (credential != GSS_C_NO_CREDENTIAL) {
    OM_uint32 ignored = 0;
    gss_release_cred(&ignored, &credential);
  }
  if (GSS_ERROR(major)) {
    const std::string mechanismText = minor ? statusText(minor, GSS_C_MECH_CODE, gss_mech_krb5) : "";
    return mechanismText.empty() ? statusText(major, GSS_C_GSS_CODE, GSS_C_NO_OID) : mechanismText;
  }
  return lifetime == 0 ? "its tickets have expired" : "";
}

}  // namespace adsi
