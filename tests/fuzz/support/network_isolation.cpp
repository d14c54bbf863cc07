#include "network_isolation.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

void requireNetworkIsolation(const char* target) {
  // The interfaces of this process's network namespace (sysfs may show the
  // host's): two header lines, then "name: counters".
  std::ifstream interfaces("/proc/self/net/dev");
  if (!interfaces) {
    std::fprintf(stderr, "%s: cannot see the network interfaces\n", target);
    std::exit(kNotIsolatedExitCode);
  }
  std::string line;
  for (int header = 0; header < 2 && std::getline(interfaces, line); ++header) {
  }
  while (std::getline(interfaces, line)) {
    const size_t start = line.find_first_not_of(' ');
    const size_t colon = line.find(':');
    if (start == std::string::npos || colon == std::string::npos) continue;
    const std::string name = line.substr(start, colon - start);
    if (name == "lo") continue;
    std::fprintf(stderr, "%s: its paths may name any server; run it without a network (unshare -n), not with %s\n",
                 target, name.c_str());
    std::exit(kNotIsolatedExitCode);
  }
}
