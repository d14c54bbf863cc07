// The embedded directory of the Linux stand-in, mounted from an LDIF file
// for as long as the holder lives.
#pragma once

#include <string>

class MountedDirectory {
 public:
  MountedDirectory() = default;
  ~MountedDirectory();
  MountedDirectory(const MountedDirectory &) = delete;
  MountedDirectory &operator=(const MountedDirectory &) = delete;

  // False with a one-line reason when the file cannot be mounted.
  bool mount(const std::string &ldifPath, std::string &error);

 private:
  bool mounted_ = false;
};
