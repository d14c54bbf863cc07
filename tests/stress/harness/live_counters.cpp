#include "live_counters.h"

#include "adsi_compat.h"
#include "win32_compat.h"

LiveCounters LiveCounters::now() {
  LiveCounters counters;
  counters.strings = Win32CompatLiveStrings();
  counters.arrays = Win32CompatLiveArrays();
  counters.adsiObjects = AdsCompatLiveObjects();
  counters.adsMemory = AdsCompatLiveAdsMem();
  counters.comDepth = Win32CompatComInitDepth();
  return counters;
}

std::string counterChanges(const LiveCounters& before, const LiveCounters& after) {
  std::string changes;
  auto compare = [&](const char* what, long a, long b) {
    if (a == b) return;
    if (!changes.empty()) changes += ", ";
    changes += std::string(what) + " " + std::to_string(a) + " -> " + std::to_string(b);
  };
  compare("BSTRs", before.strings, after.strings);
  compare("SAFEARRAYs", before.arrays, after.arrays);
  compare("ADSI objects", before.adsiObjects, after.adsiObjects);
  compare("AllocADsMem blocks", before.adsMemory, after.adsMemory);
  compare("COM depth", before.comDepth, after.comDepth);
  return changes;
}
