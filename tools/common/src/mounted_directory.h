// The embedded directory of the stand-in, mounted from an LDIF file for as
// long as the holder lives. On Linux the stand-in is linked in; on Windows
// it is a module quarlix-exec loads, whose controls it hands over.
#pragma once

#include <string>

#include "adsi_compat.h"

class MountedDirectory {
 public:
  using MountFunction = decltype(&AdsCompatMountLdif);
  using UnmountFunction = decltype(&AdsCompatUnmount);

#ifndef _WIN32
  MountedDirectory() : MountedDirectory(&AdsCompatMountLdif, &AdsCompatUnmount) {}
#endif
  MountedDirectory(MountFunction mount, UnmountFunction unmount) : mount_(mount), unmount_(unmount) {}
  ~MountedDirectory();
  MountedDirectory(const MountedDirectory&) = delete;
  MountedDirectory& operator=(const MountedDirectory&) = delete;

  // False with a one-line reason when the file cannot be mounted.
  bool mount(const std::string& ldifPath, std::string& error);

 private:
  MountFunction mount_;
  UnmountFunction unmount_;
  bool mounted_ = false;
};

// Which directory and which server serverless paths reach, in the
// stand-in's words, for the host's log or trace; "" on Windows, where the
// stand-in is not linked in.
std::string serverlessPathsLine();
