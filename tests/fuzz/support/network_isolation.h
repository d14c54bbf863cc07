// Paths in fuzzed parameters may name any server, and a path that names a
// server the embedded directory does not answer to goes to the LDAP store,
// which would look the name up and connect. Such targets run only where the
// process has no network but loopback (a namespace of its own: unshare -n).
#pragma once

// The exit status of a run that refused to start: CTest counts it as skipped.
constexpr int kNotIsolatedExitCode = 77;

// Ends the process with kNotIsolatedExitCode, saying why, unless the only
// network interface in sight is loopback.
void requireNetworkIsolation(const char* target);
