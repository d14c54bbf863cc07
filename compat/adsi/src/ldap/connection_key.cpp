#include "ldap/connection_key.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <tuple>

namespace adsi {
namespace {

// The cache a GSSAPI bind takes its ticket from: a file cache with its stamp,
// so that a new ticket (kinit writes the file anew) makes a new connection;
// other kinds (KEYRING:, KCM:) by name.
std::string ticketCacheStamp() {
  const char* named = std::getenv("KRB5CCNAME");
  std::string cache = named && *named ? named : "FILE:/tmp/krb5cc_" + std::to_string(getuid());
  if (cache.rfind("FILE:", 0) == 0) return fileStamp(cache.substr(5));
  if (cache.find(':') == std::string::npos) return fileStamp(cache);
  return cache;
}

}  // namespace

std::string fileStamp(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return path;
  return path + "\n" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

bool ConfiguredIdentity::operator==(const ConfiguredIdentity& other) const {
  return std::tie(kind, bindDn, password, mechanism, ticketCache) ==
         std::tie(other.kind, other.bindDn, other.password, other.mechanism, other.ticketCache);
}

bool ConnectionKey::operator==(const ConnectionKey& other) const {
  return std::tie(uri, secure, startTls, tlsCaCert, tlsRequireCert, networkTimeoutSeconds, timeoutSeconds,
                  idleTimeoutSeconds, configSource,
                  identity) == std::tie(other.uri, other.secure, other.startTls, other.tlsCaCert, other.tlsRequireCert,
                                        other.networkTimeoutSeconds, other.timeoutSeconds, other.idleTimeoutSeconds,
                                        other.configSource, other.identity);
}

ConnectionKey connectionKeyFor(const LdapTarget& target, const AdsiConfig& config) {
  ConnectionKey key;
  key.uri = target.uri;
  key.secure = target.secure;
  key.startTls = config.startTls;
  key.tlsCaCert = fileStamp(config.tlsCaCert);
  key.tlsRequireCert = config.tlsRequireCert;
  key.networkTimeoutSeconds = config.networkTimeoutSeconds;
  key.timeoutSeconds = config.timeoutSeconds;
  key.idleTimeoutSeconds = config.idleTimeoutSeconds;
  key.configSource = config.source;
  BindIdentity chosen = chooseIdentity(target.uri, config, kerberosTicketCachePresent());
  key.identity.kind = chosen.kind;
  key.identity.mechanism = chosen.mechanism;
  if (chosen.kind == BindKind::Simple) {
    key.identity.bindDn = config.bindDn;
    key.identity.password = config.bindPassword;
  }
  if (chosen.kind == BindKind::Sasl && chosen.mechanism == "GSSAPI") key.identity.ticketCache = ticketCacheStamp();
  return key;
}

}  // namespace adsi
