// What a call may leave behind in the process: BSTRs, SAFEARRAYs, ADSI
// objects (COM objects, search handles, search columns) and AllocADsMem
// blocks alive, and the calling thread's COM initialisation depth.
#pragma once

#include <string>

struct LiveCounters {
  long strings = 0;
  long arrays = 0;
  long adsiObjects = 0;
  long adsMemory = 0;
  long comDepth = 0;  // the calling thread's

  static LiveCounters now();
};

// "" when `after` equals `before`; otherwise which counters moved, e.g.
// "BSTRs 12 -> 13, ADSI objects 0 -> 2".
std::string counterChanges(const LiveCounters& before, const LiveCounters& after);
