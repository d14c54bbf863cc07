#include "mounted_directory.h"

#include "adsi_compat.h"

#include <cstdio>

MountedDirectory::~MountedDirectory() {
  if (mounted_) unmount_();
}

bool MountedDirectory::mount(const std::string& ldifPath, std::string& error) {
  char reason[512] = "";
  HRESULT hr = mount_(ldifPath.c_str(), reason, sizeof reason);
  if (hr < 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    error = "cannot mount the directory " + ldifPath + ": " + (reason[0] ? std::string(reason) : std::string(code));
    return false;
  }
  mounted_ = true;
  return true;
}

std::string serverlessPathsLine() {
#ifdef _WIN32
  return "";
#else
  std::string line(AdsCompatDescribeServerlessPaths(nullptr, 0) + 1, '\0');
  line.resize(AdsCompatDescribeServerlessPaths(line.data(), line.size()));
  return line;
#endif
}
