// The small directory the fuzzers search: a few entries whose attributes
// cover every matching rule (strings, DNs, integers, large integers,
// Booleans, times, octets), group chains with a cycle, and a nested OU.
#pragma once

// "DC=fuzz,DC=example"
extern const char* const kFuzzRoot;

// Mounts it as the default directory; ends the process when it cannot.
void mountFuzzDirectory();
