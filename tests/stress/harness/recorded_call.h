// One in-process call of the procedure on a recording host connection, kept
// as the full record of every srv_* call it made, and the check that the
// client got one complete answer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "opends_host.h"

extern "C" int quarlix(SRV_PROC* srvproc);

struct CallParameter {
  std::optional<std::string> name;  // none: positional
  BYTE type = SRVVARCHAR;
  std::optional<std::string> bytes;  // none: SQL NULL
};

struct RecordedEvent {
  OdsEvent event{};  // its pointers are cleared: they die with the connection
  std::string line;  // every field and cell, pointers only as set or null
};

struct RecordedCall {
  int returned = -1;
  std::vector<RecordedEvent> events;
  long comDepthChange = 0;  // on the calling thread: 0 when COM is back where it was

  // The whole record, one event a line, then the return value: two runs of
  // the same call give the same text.
  std::string text() const;
};

RecordedCall runRecordedCall(const std::vector<CallParameter>& parameters);

// "" when the client got exactly one answer: a result set whose srv_* calls
// all succeeded (but for the refused row of a table without columns), closed
// by one done of status 17 counting the rows sent, and 0 returned; or one
// error message (20001, severity 16, state 1 or 2) and one done of status 3
// and count 0, nothing else sent, and 1 returned; and COM back where it was
// on the calling thread. Otherwise what is wrong.
std::string answerViolation(const RecordedCall& call);
