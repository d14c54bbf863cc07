#include "ldap/adsi_config.h"

#include <ldap.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>

namespace adsi {
namespace {

constexpr const char* kEnvironmentVariable = "QUARLIX_ADSI_CONFIG";
constexpr const char* kSystemFile = "/etc/quarlix/adsi.conf";
constexpr int kMaxSeconds = 86400;

enum class Key {
  BindDn,
  BindPw,
  BindPwFile,
  SaslMech,
  TicketCacheFallback,
  NetworkTimeout,
  Timeout,
  IdleTimeout,
  StartTls,
  TlsCaCert,
  TlsReqCert,
  LdapsPorts
};

struct KnownKey {
  Key key;
  const char* name;
  bool secret;  // its value, or the file it names, holds a password
};

constexpr KnownKey kKeys[] = {
    {Key::BindDn, "binddn", false},
    {Key::BindPw, "bindpw", true},
    {Key::BindPwFile, "bindpw_file", true},
    {Key::SaslMech, "sasl_mech", false},
    {Key::TicketCacheFallback, "ticket_cache_fallback", false},
    {Key::NetworkTimeout, "network_timeout", false},
    {Key::Timeout, "timeout", false},
    {Key::IdleTimeout, "idle_timeout", false},
    {Key::StartTls, "starttls", false},
    {Key::TlsCaCert, "tls_cacert", false},
    {Key::TlsReqCert, "tls_reqcert", false},
    {Key::LdapsPorts, "ldaps_ports", false},
};
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

// What is wrong with a line. Its message is made from this alone: the
// line's text never reaches it, so no value (a password written in a form
// the reader does not expect) can be shown.
enum class Fault {
  NotAKey,
  Separator,
  NoValue,
  Repeated,
  SecretKeyInValue,
  NotSeconds,
  NotIdleSeconds,
  NotStartTls,
  NotFallback,
  NotReqCert,
  NotPorts,
  PasswordFileUnreadable,
  PasswordFileEmpty,
};

struct LineFault {
  Fault fault = Fault::NotAKey;
  const KnownKey* key = nullptr;    // the line's key; null for NotAKey
  const KnownKey* other = nullptr;  // SecretKeyInValue: the key found in the value
  size_t firstLine = 0;             // Repeated: the line that gave the key first
  char separator = 0;               // Separator: '=' or ':'
  int error = 0;                    // PasswordFileUnreadable: errno
};

std::string quoted(const KnownKey* key) { return std::string("'") + key->name + "'"; }

std::string knownKeys() {
  std::string text;
  for (const KnownKey& known : kKeys) text += (text.empty() ? "" : ", ") + std::string(known.name);
  return text;
}

std::string describe(const LineFault& f) {
  switch (f.fault) {
    case Fault::NotAKey: return "not a known key (the keys: " + knownKeys() + ")";
    case Fault::Separator:
      return quoted(f.key) + " is followed by '" + std::string(1, f.separator) +
             "': write the key, a blank and the value";
    case Fault::NoValue: return quoted(f.key) + " needs a value";
    case Fault::Repeated: return quoted(f.key) + " was given on line " + std::to_string(f.firstLine) + " already";
    case Fault::SecretKeyInValue:
      return "the value of " + quoted(f.key) + " holds the key " + quoted(f.other) + ": one key a line";
    case Fault::NotSeconds: return quoted(f.key) + " must be a whole number of seconds from 1 to 86400";
    case Fault::NotIdleSeconds: return "'idle_timeout' must be a whole number of seconds from 0 to 86400";
    case Fault::NotStartTls: return "'starttls' is never, try or demand";
    case Fault::NotFallback: return "'ticket_cache_fallback' is none or anonymous";
    case Fault::NotReqCert: return "'tls_reqcert' is never, allow, try, demand or hard";
    case Fault::NotPorts: return "'ldaps_ports' lists port numbers from 1 to 65535";
    case Fault::PasswordFileUnreadable:
      return std::string("cannot read the file 'bindpw_file' names: ") + std::strerror(f.error);
    case Fault::PasswordFileEmpty: return "the first line of the file 'bindpw_file' names is empty";
  }
  return "cannot be read";
}

bool blank(char c) { return c == ' ' || c == '\t'; }
bool keyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

const KnownKey* findKey(std::string_view name) {
  for (const KnownKey& known : kKeys)
    if (sameName(name, known.name)) return &known;
  return nullptr;
}

// A secret key written inside another value (`binddn cn=x bindpw secret`):
// a word that is, or begins with, a secret key and '=' or ':'.
const KnownKey* secretKeyIn(std::string_view value) {
  while (!value.empty()) {
    size_t start = 0;
    while (start < value.size() && blank(value[start])) ++start;
    size_t end = start;
    while (end < value.size() && !blank(value[end])) ++end;
    std::string_view word = value.substr(start, end - start);
    word = word.substr(0, word.find_first_of("=:"));
    if (const KnownKey* key = findKey(word); key && key->secret) return key;
    value.remove_prefix(end);
  }
  return nullptr;
}

bool readFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  text = content.str();
  return true;
}

bool parseNumber(std::string_view value, long low, long high, long& number) {
  if (value.empty() || value.size() > 6) return false;
  long n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high) return false;
  number = n;
  return true;
}

// The value of a keyword; false when `value` is none of the words.
template <class Value>
bool oneOf(std::string_view value, std::initializer_list<std::pair<const char*, Value>> words, Value& out) {
  for (const auto& [word, meaning] : words) {
    if (value != word) continue;
    out = meaning;
    return true;
  }
  return false;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Sets the key's value; false with the fault's kind in `fault`.
bool applyValue(const KnownKey& known, std::string_view value, const std::string& source, AdsiConfig& config,
                LineFault& fault) {
  auto refuse = [&](Fault kind) {
    fault.fault = kind;
    return false;
  };
  switch (known.key) {
    case Key::BindDn: config.bindDn = value; return true;
    case Key::BindPw:
      config.bindPassword = value;
      config.hasPassword = true;
      config.passwordSource = "bindpw in " + source;
      return true;
    case Key::BindPwFile: {
      std::string path = value[0] == '/' ? std::string(value) : folderOf(source) + "/" + std::string(value);
      std::string content;
      if (!readFile(path, content)) {
        fault.error = errno;
        return refuse(Fault::PasswordFileUnreadable);
      }
      std::string_view firstLine = trim(std::string_view(content).substr(0, content.find('\n')));
      // An empty password makes a simple bind anonymous (RFC 4513).
      if (firstLine.empty()) return refuse(Fault::PasswordFileEmpty);
      config.bindPassword = firstLine;
      config.hasPassword = true;
      config.passwordSource = path;
      return true;
    }
    case Key::SaslMech: config.saslMechanism = value; return true;
    case Key::TicketCacheFallback:
      return oneOf(value, {{"none", TicketCacheFallback::None}, {"anonymous", TicketCacheFallback::Anonymous}},
                   config.ticketCacheFallback) ||
             refuse(Fault::NotFallback);
    case Key::NetworkTimeout:
    case Key::Timeout: {
      long seconds = 0;
      if (!parseNumber(value, 1, kMaxSeconds, seconds)) return refuse(Fault::NotSeconds);
      (known.key == Key::Timeout ? config.timeoutSeconds : config.networkTimeoutSeconds) = static_cast<int>(seconds);
      return true;
    }
    case Key::IdleTimeout: {
      long seconds = 0;  // 0: no connection kept between calls
      if (!parseNumber(value, 0, kMaxSeconds, seconds)) return refuse(Fault::NotIdleSeconds);
      config.idleTimeoutSeconds = static_cast<int>(seconds);
      return true;
    }
    case Key::StartTls:
      return oneOf(value,
                   {{"never", StartTlsMode::Never}, {"try", StartTlsMode::Try}, {"demand", StartTlsMode::Demand}},
                   config.startTls) ||
             refuse(Fault::NotStartTls);
    case Key::TlsCaCert: config.tlsCaCert = value; return true;
    case Key::TlsReqCert:
      return oneOf(value,
                   {{"never", LDAP_OPT_X_TLS_NEVER},
                    {"allow", LDAP_OPT_X_TLS_ALLOW},
                    {"try", LDAP_OPT_X_TLS_TRY},
                    {"demand", LDAP_OPT_X_TLS_DEMAND},
                    {"hard", LDAP_OPT_X_TLS_HARD}},
                   config.tlsRequireCert) ||
             refuse(Fault::NotReqCert);
    case Key::LdapsPorts:
      config.ldapsPorts.clear();
      for (std::string_view rest = value; !rest.empty();) {
        size_t gap = rest.find_first_of(" \t,");
        std::string_view port = rest.substr(0, gap);
        rest = gap == std::string_view::npos ? std::string_view() : trim(rest.substr(gap + 1));
        long number = 0;
        if (port.empty()) continue;
        if (!parseNumber(port, 1, 65535, number)) return refuse(Fault::NotPorts);
        config.ldapsPorts.emplace_back(port);
      }
      return true;
  }
  return refuse(Fault::NotAKey);
}

// The next line of `text` (ends: LF, CRLF or CR), without its end.
std::string_view nextLine(std::string_view& text) {
  size_t end = text.find_first_of("\r\n");
  std::string_view line = text.substr(0, end);
  if (end == std::string_view::npos) {
    text = std::string_view();
  } else {
    size_t after = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    text.remove_prefix(after);
  }
  return line;
}

// One `key value` line into `config`; false with what is wrong in `fault`.
// `firstSeen` holds the line that gave each key, 0 for none yet.
bool readLine(std::string_view line, size_t lineNumber, size_t* firstSeen, const std::string& source,
              AdsiConfig& config, LineFault& fault) {
  auto refuse = [&](Fault kind) {
    fault.fault = kind;
    return false;
  };
  size_t keyEnd = 0;
  while (keyEnd < line.size() && keyCharacter(line[keyEnd])) ++keyEnd;
  const char after = keyEnd < line.size() ? line[keyEnd] : ' ';
  fault.key = findKey(line.substr(0, keyEnd));
  if (!fault.key || !(blank(after) || after == '=' || after == ':')) {
    fault.key = nullptr;
    return refuse(Fault::NotAKey);
  }
  if (!blank(after)) {
    fault.separator = after;
    return refuse(Fault::Separator);
  }
  std::string_view value = trim(line.substr(keyEnd));
  if (value.empty()) return refuse(Fault::NoValue);
  // `key = value`, `key :value`: a value never begins with either (a
  // password that does goes in a bindpw_file).
  if (value[0] == '=' || value[0] == ':') {
    fault.separator = value[0];
    return refuse(Fault::Separator);
  }
  size_t& first = firstSeen[fault.key - kKeys];
  if (first != 0) {
    fault.firstLine = first;
    return refuse(Fault::Repeated);
  }
  if ((fault.other = secretKeyIn(value)) != nullptr) return refuse(Fault::SecretKeyInValue);
  first = lineNumber;
  return applyValue(*fault.key, value, source, config, fault);
}

}  // namespace

bool parseAdsiConfig(std::string_view text, const std::string& source, AdsiConfig& config, std::string& error) {
  config = AdsiConfig();
  config.source = source;
  if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
    error = source + ": the file is UTF-16 text; save it as UTF-8 (or ASCII)";
    return false;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t firstSeen[kKeyCount] = {};
  size_t lineNumber = 0;
  while (!text.empty()) {
    std::string_view line = trim(nextLine(text));
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    LineFault fault;
    if (!readLine(line, lineNumber, firstSeen, source, config, fault)) {
      error = source + ":" + std::to_string(lineNumber) + ": " + describe(fault);
      config.bindPassword.clear();
      return false;
    }
  }
  if (config.bindDn.empty() != !config.hasPassword) {
    error = source + ": 'binddn' and a password ('bindpw' or 'bindpw_file') go together";
    config.bindPassword.clear();
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
