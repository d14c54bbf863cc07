// Which LDAP server a path names, as a libldap URI: LDAP://host[:port] on
// 389, GC://host[:port] (the global catalog) on 3268, ldaps:// when the port is
// 636 (or the global catalog's 3269, or a port the configuration's
// ldaps_ports lists); a serverless path names the server of
// the platform's LDAP configuration (ldap.conf's URI, LDAPURI).
#pragma once

#include <string>

#include "ads_path.h"
#include "ldap/adsi_config.h"

namespace adsi {

struct LdapTarget {
  std::string uri;          // for ldap_initialize; may list several servers
  std::string host;         // the server's name, for ADS_OPTION_SERVERNAME
  std::string defaultBase;  // ldap.conf's BASE, for a server without a naming context
  bool secure = false;      // ldaps: TLS from the start
};

// A text option of the platform's LDAP configuration (ldap.conf, LDAP*
// variables), "" when unset.
std::string platformLdapOption(int option);

// E_ADS_BAD_PATHNAME for a port that is not a number.
HRESULT ldapTargetFor(const AdsPath& path, const AdsiConfig& config, LdapTarget& target);

}  // namespace adsi
