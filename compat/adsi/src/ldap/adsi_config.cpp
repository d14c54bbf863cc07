#include "ldap/adsi_config.h"

#include <ldap.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace adsi {
namespace {

constexpr const char* kEnvironmentVariable = "QUARLIX_ADSI_CONFIG";
constexpr const char* kSystemFile = "/etc/quarlix/adsi.conf";
constexpr int kMaxSeconds = 86400;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool readFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  text = content.str();
  return true;
}

bool parseSeconds(std::string_view value, int& seconds) {
  if (value.empty() || value.size() > 5) return false;
  int n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kMaxSeconds) return false;
  seconds = n;
  return true;
}

bool parsePort(std::string_view value) {
  if (value.empty() || value.size() > 5) return false;
  long n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= 65535;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

bool parseAdsiConfig(std::string_view text, const std::string& source, AdsiConfig& config, std::string& error) {
  config = AdsiConfig();
  config.source = source;
  size_t lineNumber = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    size_t gap = line.find_first_of(" \t");
    std::string key(line.substr(0, gap));
    std::string value(gap == std::string_view::npos ? std::string_view() : trim(line.substr(gap)));
    auto fail = [&](const std::string& reason) {
      error = source + ":" + std::to_string(lineNumber) + ": " + reason;
      return false;
    };
    if (value.empty()) return fail("'" + key + "' needs a value");
    if (key == "binddn") {
      config.bindDn = value;
    } else if (key == "bindpw") {
      config.bindPassword = value;
      config.hasPassword = true;
    } else if (key == "bindpw_file") {
      std::string path = value[0] == '/' ? value : folderOf(source) + "/" + value;
      std::string content;
      if (!readFile(path, content)) return fail("cannot read the password file " + path + ": " + std::strerror(errno));
      config.bindPassword = std::string(trim(std::string_view(content).substr(0, content.find('\n'))));
      config.hasPassword = true;
    } else if (key == "sasl_mech") {
      config.saslMechanism = value;
    } else if (key == "network_timeout" || key == "timeout") {
      int& target = key == "timeout" ? config.timeoutSeconds : config.networkTimeoutSeconds;
      if (!parseSeconds(value, target))
        return fail("'" + key + "' must be a whole number of seconds from 1 to 86400, not '" + value + "'");
    } else if (key == "idle_timeout") {
      if (value == "0")
        config.idleTimeoutSeconds = 0;  // no connection kept between calls
      else if (!parseSeconds(value, config.idleTimeoutSeconds))
        return fail("'idle_timeout' must be a whole number of seconds from 0 to 86400, not '" + value + "'");
    } else if (key == "starttls") {
      if (value == "never")
        config.startTls = StartTlsMode::Never;
      else if (value == "try")
        config.startTls = StartTlsMode::Try;
      else if (value == "demand")
        config.startTls = StartTlsMode::Demand;
      else
        return fail("'starttls' is never, try or demand, not '" + value + "'");
    } else if (key == "tls_cacert") {
      config.tlsCaCert = value;
    } else if (key == "tls_reqcert") {
      static const std::pair<const char*, int> kLevels[] = {{"never", LDAP_OPT_X_TLS_NEVER},
                                                            {"allow", LDAP_OPT_X_TLS_ALLOW},
                                                            {"try", LDAP_OPT_X_TLS_TRY},
                                                            {"demand", LDAP_OPT_X_TLS_DEMAND},
                                                            {"hard", LDAP_OPT_X_TLS_HARD}};
      config.tlsRequireCert = -1;
      for (const auto& [name, level] : kLevels)
        if (value == name) config.tlsRequireCert = level;
      if (config.tlsRequireCert < 0)
        return fail("'tls_reqcert' is never, allow, try, demand or hard, not '" + value + "'");
    } else if (key == "ldaps_ports") {
      config.ldapsPorts.clear();
      for (std::string_view rest = value; !rest.empty();) {
        size_t gap = rest.find_first_of(" \t,");
        std::string_view port = rest.substr(0, gap);
        rest = gap == std::string_view::npos ? std::string_view() : trim(rest.substr(gap + 1));
        if (port.empty()) continue;
        if (!parsePort(port))
          return fail("'ldaps_ports' lists port numbers from 1 to 65535, not '" + std::string(port) + "'");
        config.ldapsPorts.emplace_back(port);
      }
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  if (config.bindDn.empty() != !config.hasPassword) {
    error = source + ": 'binddn' and a password ('bindpw' or 'bindpw_file') go together";
    return false;
  }
  return true;
}

bool loadAdsiConfig(AdsiConfig& config, std::string& error) {
  config = AdsiConfig();
  std::string path;
  std::string text;
  if (const char* named = std::getenv(kEnvironmentVariable); named && *named) {
    path = named;
    if (!readFile(path, text)) {
      error = path + ": cannot read the configuration (" + kEnvironmentVariable + "): " + std::strerror(errno);
      return false;
    }
  } else if (readFile(kSystemFile, text)) {
    path = kSystemFile;
  } else if (const char* home = std::getenv("HOME");
             home && *home && readFile(std::string(home) + "/.config/quarlix/adsi.conf", text)) {
    path = std::string(home) + "/.config/quarlix/adsi.conf";
  } else {
    return true;
  }
  return parseAdsiConfig(text, path, config, error);
}

}  // namespace adsi
