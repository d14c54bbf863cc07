// The logins file: one line per login, "name:pbkdf2-sha256:iterations:salt:hash"
// (salt and hash in hexadecimal), '#' starts a comment. Passwords are never
// stored or logged; a login is checked by deriving the hash again.
#pragma once

#include <optional>
#include <string>
#include <vector>

class Logins {
 public:
  // Null-equivalent (nullopt) with a reason naming the line when the file
  // cannot be read or a line is malformed.
  static std::optional<Logins> load(const std::string& path, std::string& error);

  // The login's name as stored when name (compared without regard to ASCII
  // case) and password match; nullopt otherwise. Takes the same time whether
  // or not the name exists.
  std::optional<std::string> verify(const std::string& name, const std::string& password) const;

  // A login of that name (compared without regard to ASCII case) exists.
  bool has(const std::string& name) const;

  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::string name;
    unsigned iterations = 0;
    std::string salt;
    std::string hash;
  };
  std::vector<Entry> entries_;
};

constexpr unsigned kLoginIterations = 100000;

// The line for a new login; empty with a reason for a name the file cannot
// hold (empty, or with ':' or white space) or when no random salt is to be had.
std::string makeLoginLine(const std::string& name, const std::string& password, std::string& error);
