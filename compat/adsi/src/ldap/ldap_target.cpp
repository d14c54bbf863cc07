#include "ldap/ldap_target.h"

#include <ldap.h>

#include "adserr.h"
#include "ldap/ldap_holders.h"

namespace adsi {
namespace {

constexpr const char* kLdapPort = "389";
constexpr const char* kGlobalCatalogPort = "3268";

// The port written after the host, "" when none is.
std::string portOf(const AdsPath& path) {
  size_t hostEnd = path.server.size() && path.server[0] == '[' ? path.server.find(']') + 1 : path.host.size();
  if (hostEnd >= path.server.size() || path.server[hostEnd] != ':') return "";
  return path.server.substr(hostEnd + 1);
}

// The host of the first URI of a list, for the server's name.
std::string firstHost(const std::string& uris) {
  LDAPURLDesc* url = nullptr;
  std::string first = uris.substr(0, uris.find_first_of(" ,"));
  if (ldap_url_parse(first.c_str(), &url) != LDAP_URL_SUCCESS || !url) return "";
  std::string host = url->lud_host ? url->lud_host : "";
  bool local = url->lud_scheme && std::string(url->lud_scheme) == "ldapi";
  ldap_free_urldesc(url);
  return local || host.empty() ? "localhost" : host;
}

}  // namespace

std::string platformLdapOption(int option) {
  char* value = nullptr;
  if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || !value) return "";
  LdapStringPtr owned(value);
  return value;
}

HRESULT ldapTargetFor(const AdsPath& path, const AdsiConfig& config, LdapTarget& target) {
  target = LdapTarget();
  target.defaultBase = platformLdapOption(LDAP_OPT_DEFBASE);
  if (path.server.empty()) {
    target.uri = platformLdapOption(LDAP_OPT_URI);
    target.host = firstHost(target.uri);
    target.secure = target.uri.rfind("ldaps:", 0) == 0;
    return target.uri.empty() ? HRESULT_FROM_WIN32(8250) : S_OK;
  }
  std::string port = portOf(path);
  if (port.empty()) port = path.provider == "GC" ? kGlobalCatalogPort : kLdapPort;
  for (char c : port)
    if (c < '0' || c > '9') return E_ADS_BAD_PATHNAME;
  target.secure = port == "636" || port == "3269";
  for (const std::string& tlsPort : config.ldapsPorts) target.secure = target.secure || port == tlsPort;
  bool ipv6 = path.host.find(':') != std::string::npos;
  target.host = path.host;
  target.uri =
      std::string(target.secure ? "ldaps://" : "ldap://") + (ipv6 ? "[" + path.host + "]" : path.host) + ":" + port;
  return S_OK;
}

}  // namespace adsi
