// Counts of the process's LDAP search operations and of the round trips they
// cost, for the benchmarks: a round trip is a wait for answers after one or
// more operations were sent (operations sent together before the wait count
// once). Binds and StartTLS are not counted.
// With QUARLIX_ADSI_TRAFFIC=FILE in the environment, the counts are written
// to FILE when the process ends ("operations N\nround_trips M\n").
#pragma once

namespace adsi {

void countOperationSent();
void countRoundTrip();

}  // namespace adsi
