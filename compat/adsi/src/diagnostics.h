// Lines for the host's administrator: why a directory could not be used,
// what was tried, and (when asked for) a trace of every LDAP operation. The
// procedure's message stays the platform's failure code; the reason goes
// here, one line each, through one function, so that a host can route the
// lines (a server tags them with the connection whose call wrote them:
// every line is written on the thread of the call it concerns).
#pragma once

#include <string>

namespace adsi {

// Writes "quarlix ADSI: TEXT" as one line (line breaks in TEXT become
// blanks) to the host's sink, standard error by default.
void reportLine(const std::string& text);

// QUARLIX_ADSI_TRACE is set to something other than "" or "0".
bool tracing();
// A trace line: "quarlix ADSI trace: TEXT", when tracing.
void traceLine(const std::string& text);

}  // namespace adsi
