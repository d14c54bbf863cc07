#include "ads_path.h"

#include <cctype>

#include "adserr.h"
#include "text.h"

namespace adsi {
namespace {

constexpr HRESULT kMonikerSyntax = static_cast<HRESULT>(0x800401E4);  // MK_E_SYNTAX

bool validHost(std::string_view server, std::string& host, std::string& portText) {
  std::string_view port;
  if (!server.empty() && server[0] == '[') {  // [IPv6]:port
    size_t close = server.find(']');
    if (close == std::string_view::npos) return false;
    host.assign(server.substr(1, close - 1));
    std::string_view rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
    for (char c : host)
      if (!(isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
  } else {
    size_t colon = server.find(':');
    host.assign(server.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = server.substr(colon + 1);
      if (port.empty()) return false;
    }
    for (char c : host)
      if (!(isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) return false;
  }
  if (host.empty() || port.size() > 5) return false;
  long number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  portText.assign(port);
  return port.empty() || (number > 0 && number < 65536);
}

// The first '/' that is not escaped with a backslash.
size_t findSeparator(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\')
      ++i;
    else if (s[i] == '/')
      return i;
  }
  return std::string_view::npos;
}

std::string unescapeSlashes(std::string_view dn) {
  std::string out;
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\' && i + 1 < dn.size() && dn[i + 1] == '/') continue;
    out += dn[i];
  }
  return out;
}

}  // namespace

HRESULT parseAdsPath(WideStringView widePath, AdsPath& out) {
  out = AdsPath();
  std::string path = utf16ToUtf8(widePath);
  size_t colon = path.find(':');
  if (colon == std::string::npos) return kMonikerSyntax;
  std::string provider = path.substr(0, colon);
  if (!equalsIgnoreCase(provider, "LDAP") && !equalsIgnoreCase(provider, "GC")) return kMonikerSyntax;
  out.provider = equalsIgnoreCase(provider, "GC") ? "GC" : "LDAP";
  std::string_view rest = std::string_view(path).substr(colon + 1);
  if (rest.substr(0, 2) != "//" || rest.size() == 2) return E_ADS_BAD_PATHNAME;
  rest.remove_prefix(2);
  size_t slash = findSeparator(rest);
  std::string_view server, dn;
  if (slash != std::string_view::npos) {
    server = rest.substr(0, slash);
    dn = rest.substr(slash + 1);
    if (server.empty()) return E_ADS_BAD_PATHNAME;
  } else if (rest.find('=') != std::string_view::npos) {
    dn = rest;
  } else {
    server = rest;
  }
  // "RootDSE" alone is the root DSE of the default server, not a server.
  if (dn.empty() && equalsIgnoreCase(server, "RootDSE")) server = {}, dn = "RootDSE";
  if (!server.empty() && !validHost(server, out.host, out.port)) return E_ADS_BAD_PATHNAME;
  out.server.assign(server);
  out.dn = unescapeSlashes(dn);
  if (equalsIgnoreCase(out.dn, "RootDSE")) {
    out.rootDse = true;
    out.dn.clear();
  }
  return S_OK;
}

std::string formatAdsPath(std::string_view provider, std::string_view server, std::string_view dn) {
  std::string out(provider);
  out += "://";
  out += server;
  if (!server.empty() && !dn.empty()) out += '/';
  for (char c : dn) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace adsi
