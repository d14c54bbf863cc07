// ADsPaths of the LDAP provider: LDAP://server[:port]/DN, LDAP://DN,
// LDAP://server, and the same with GC:// for the global catalog;
// LDAP://server/RootDSE and LDAP://RootDSE name the server's root DSE.
#pragma once

#include <string>
#include <string_view>

#include "text.h"
#include "windows.h"

namespace adsi {

struct AdsPath {
  std::string provider;  // "LDAP" or "GC" (the path may spell it in any case)
  std::string server;    // host[:port] as written; empty when serverless
  std::string host;      // without the port
  std::string port;      // as written; empty when the path names none
  std::string dn;        // '/' unescaped; empty for the directory's root
  bool rootDse = false;  // the path names the server's root DSE ("RootDSE")
};

// MK_E_SYNTAX for a path of no known provider, E_ADS_BAD_PATHNAME for a
// malformed one.
HRESULT parseAdsPath(WideStringView path, AdsPath& out);

// "PROVIDER://server/dn", "PROVIDER://dn" or "PROVIDER://server"; '/' in the
// DN escaped as ADSI writes it.
std::string formatAdsPath(std::string_view provider, std::string_view server, std::string_view dn);

}  // namespace adsi
