// Shows an answer while the procedure sends it, without keeping it: rows go
// from the connection's row sink straight to the writer, and the events
// recorded before each row are read at that moment, so the writer sees
// everything in the order it was sent.
#pragma once

#include "formatters.h"
#include "opends_host.hpp"

#include <exception>

class StreamingHost {
 public:
  StreamingHost(opends::Connection& connection, RecordWriter& writer);
  ~StreamingHost();
  StreamingHost(const StreamingHost&) = delete;
  StreamingHost& operator=(const StreamingHost&) = delete;

  // After the call: the events after the last row, then the return value.
  // Raises what the writer raised while a row was being shown.
  void finish(int returnValue);

 private:
  static void __cdecl onRow(void* context, const OdsCell* cells, int cellCount);
  void showRow(const OdsCell* cells, int cellCount);
  void readRecord();

  opends::Connection& connection_;
  RecordWriter& writer_;
  int nextEvent_ = 0;
  std::exception_ptr failure_;  // nothing may unwind through the procedure
};
