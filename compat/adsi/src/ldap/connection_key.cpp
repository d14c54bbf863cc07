#include "ldap/connection_key.h"

#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

namespace adsi {

std::string fileStamp(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return path;
  return path + "\n" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

bool ConnectionKey::operator==(const ConnectionKey& other) const {
  return std::tie(uri, secure, startTls, tlsCaCert, tlsRequireCert, networkTimeoutSeconds, timeoutSeconds,
                  idleTimeoutSeconds, configSource, identity, password, ticketStamp) ==
         std::tie(other.uri, other.secure, other.startTls, other.tlsCaCert, other.tlsRequireCert,
                  other.networkTimeoutSeconds, other.timeoutSeconds, other.idleTimeoutSeconds, other.configSource,
                  other.identity, other.password, other.ticketStamp);
}

ConnectionKey connectionKeyFor(const LdapTarget& target, const AdsiConfig& config, const BindIdentity& identity) {
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
  key.identity = identity;
  if (identity.kind == BindKind::Simple) key.password = config.bindPassword;
  if (identity.kind == BindKind::Sasl && identity.mechanism == "GSSAPI") {
    // A file cache by its stamp, so that a new ticket (kinit writes the file
    // anew) makes a new connection; other kinds (KEYRING:, KCM:) by name.
    const std::string& cache = identity.ticketCache;
    key.ticketStamp = cache.rfind("FILE:", 0) == 0           ? fileStamp(cache.substr(5))
                      : cache.find(':') == std::string::npos ? fileStamp(cache)
                                                             : cache;
  }
  return key;
}

}  // namespace adsi
