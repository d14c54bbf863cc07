#include "login/login_file.h"

#include "login/logins.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr mode_t kNewFileMode = 0640;

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The name a login line starts with; empty for comments and blank lines.
std::string loginNameOf(const std::string& line) {
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos || line[first] == '#') return std::string();
  return line.substr(0, line.find(':'));
}

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file with the login `name`'s line replaced by `line` (added when it
// has none), or removed when `line` is empty; written whole beside it and
// renamed over it.
bool rewriteLoginsFile(const std::string& path, const std::string& name, const std::string& line, std::string& error) {
  std::vector<std::string> lines;
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists) {
    // The server must still start with the file afterwards: a broken file is not touched.
    if (!Logins::load(path, error)) return false;
    std::ifstream file(path);
    for (std::string text; std::getline(file, text);) lines.push_back(text);
  } else if (errno != ENOENT || line.empty()) {
    error = "cannot read the logins file " + path + ": " + std::strerror(errno);
    return false;
  }

  std::string text;
  bool found = false;
  for (const std::string& existing : lines) {
    const std::string existingName = loginNameOf(existing);
    if (!existingName.empty() && strcasecmp(existingName.c_str(), name.c_str()) == 0) {
      if (!found && !line.empty()) text += line + '\n';
      found = true;
      continue;
    }
    text += existing + '\n';
  }
  if (!found && !line.empty()) text += line + '\n';
  if (line.empty() && !found) {
    error = "the logins file " + path + " has no login " + name;
    return false;
  }
  std::string temporary = folderOf(path) + "/.logins-XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = "cannot write beside " + path + ": " + std::strerror(errno);
    return false;
  }
  // The replacement keeps the old file's mode and group (the service's group
  // reads it); a new file gets the folder's group, as a set-group-ID folder gives.
  bool written = ::fchmod(fd, exists ? (old.st_mode & 07777) : kNewFileMode) == 0;
  if (written && exists && old.st_gid != ::getegid()) written = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
  written = written && writeAll(fd, text) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself survives a crash once the folder is on disk.
  int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace

bool addLoginToFile(const std::string& path, const std::string& name, const std::string& line, std::string& error) {
  return rewriteLoginsFile(path, name, line, error);
}

bool removeLoginFromFile(const std::string& path, const std::string& name, std::string& error) {
  return rewriteLoginsFile(path, name, std::string(), error);
}
