#include "login/logins.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

constexpr size_t kHashSize = 32;
constexpr size_t kSaltSize = 16;
constexpr const char* kScheme = "pbkdf2-sha256";

std::string derive(const std::string& password, const std::string& salt, unsigned iterations) {
  std::string hash(kHashSize, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                    static_cast<int>(iterations), EVP_sha256(), static_cast<int>(kHashSize),
                    reinterpret_cast<unsigned char*>(hash.data()));
  return hash;
}

std::string toHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 0x0F];
  }
  return out;
}

bool fromHex(const std::string& text, std::string& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    auto digit = [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                         : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    };
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return false;
    bytes += static_cast<char>(digit(text[i]) * 16 + digit(text[i + 1]));
  }
  return true;
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool validName(const std::string& name) {
  if (name.empty() || name.size() > 128) return false;
  for (unsigned char c : name)
    if (c == ':' || c == '#' || std::isspace(c) || c < 0x20) return false;
  return true;
}

}  // namespace

std::optional<Logins> Logins::load(const std::string& path, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read the logins file " + path;
    return std::nullopt;
  }
  Logins logins;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream parts(line);
    for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
    Entry entry;
    const std::string where = path + " line " + std::to_string(number);
    if (fields.size() != 5 || !validName(fields[0]) || fields[1] != kScheme) {
      error =
          where + ": expected name:" + kScheme + ":iterations:salt:hash (quarlix-server --print-login NAME writes one)";
      return std::nullopt;
    }
    entry.name = fields[0];
    char* end = nullptr;
    unsigned long iterations = std::strtoul(fields[2].c_str(), &end, 10);
    if (fields[2].empty() || *end != '\0' || iterations < 1000 || iterations > 10000000 ||
        !fromHex(fields[3], entry.salt) || entry.salt.size() < 8 || !fromHex(fields[4], entry.hash) ||
        entry.hash.size() != kHashSize) {
      error = where + ": the iterations, salt or hash are not valid";
      return std::nullopt;
    }
    entry.iterations = static_cast<unsigned>(iterations);
    for (const Entry& other : logins.entries_)
      if (sameNameIgnoringCase(other.name, entry.name)) {
        error = where + ": the login " + entry.name + " is listed twice";
        return std::nullopt;
      }
    logins.entries_.push_back(std::move(entry));
  }
  return logins;
}

std::optional<std::string> Logins::verify(const std::string& name, const std::string& password) const {
  const Entry* found = nullptr;
  for (const Entry& entry : entries_)
    if (sameNameIgnoringCase(entry.name, name)) found = &entry;
  // An unknown name costs a derivation as well, so timing does not tell names apart.
  static const Entry decoy{"", kLoginIterations, std::string(kSaltSize, 'x'), std::string(kHashSize, '\0')};
  const Entry& entry = found ? *found : decoy;
  std::string hash = derive(password, entry.salt, entry.iterations);
  bool match = CRYPTO_memcmp(hash.data(), entry.hash.data(), kHashSize) == 0;
  OPENSSL_cleanse(hash.data(), hash.size());
  if (!found || !match) return std::nullopt;
  return found->name;
}

bool Logins::has(const std::string& name) const {
  for (const Entry& entry : entries_)
    if (sameNameIgnoringCase(entry.name, name)) return true;
  return false;
}

std::string makeLoginLine(const std::string& name, const std::string& password, std::string& error) {
  if (!validName(name)) {
    error = "a login name must be 1 to 128 characters without ':', '#' or white space";
    return std::string();
  }
  std::string salt(kSaltSize, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) != 1) {
    error = "no random bytes for the salt";
    return std::string();
  }
  std::string hash = derive(password, salt, kLoginIterations);
  return name + ":" + kScheme + ":" + std::to_string(kLoginIterations) + ":" + toHex(salt) + ":" + toHex(hash);
}
