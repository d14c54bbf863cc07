// One call of the procedure, its answer sent while the procedure sends it:
// its described columns become COLMETADATA before the first row, each row a
// ROW token, each message an ERROR or INFO token, and each result set ends
// with a DONEINPROC. Rows leave in whole packets as they fill, so an answer
// of any size needs only a packet's worth of memory; between packets an
// attention from the client stops the rows.
#pragma once

#include "answer/code_page_text.h"
#include "host_parameter.h"
#include "procedure_call.h"
#include "tds/answer_writer.h"

#include <cstdint>
#include <vector>

struct AnswerStyle {
  bool noCount = false;       // SET NOCOUNT ON: no counts in DONEINPROC
  bool metadataOnly = false;  // SET FMTONLY ON: columns, no rows
};

struct ProcedureOutcome {
  bool called = false;         // false: the parameters could not be handed over (the error is written)
  int returnValue = 0;         // what the procedure returned
  bool sentError = false;      // it sent an error (or a row could not be encoded)
  bool cancelled = false;      // the client cancelled: the answer is ended, nothing more may be written
  std::uint64_t rows = 0;      // the count of its last result set
  std::int32_t lastError = 0;  // the number of the last error it sent (@@ERROR)
};

// Calls the procedure with `parameters` and writes its answer (without the
// RETURNSTATUS and DONEPROC that end it, which depend on where it ran).
// Raises ChannelClosed when the connection failed while the answer was sent.
ProcedureOutcome callProcedure(const ProcedureEntry& procedure, const std::vector<HostParameter>& parameters,
                               tds::AnswerWriter& writer, const CodePageText& text, const AnswerStyle& style,
                               std::uint32_t line);
