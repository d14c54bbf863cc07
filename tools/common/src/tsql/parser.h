// The one T-SQL grammar of the hosts. A batch is read once, whole, into
// typed statements before any of it runs: what cannot be read is an error
// of the whole batch, with the number, words and place a server gives it.
#pragma once

#include "tsql/statements.h"
#include "tsql/vocabulary.h"

#include <string_view>

namespace tsql {

// A batch of statements. Variables the statements may name are those of
// `declared` (sp_executesql's and prepared statements'); any other is
// error 137.
Batch parseBatch(std::string_view text, const Vocabulary& vocabulary, const Declarations* declared = nullptr);

// The one EXEC of quarlix-exec -Q: [EXEC] name values [;]. Its values are not
// checked against declarations, and its keywords are names.
struct ExecLineStatement {
  Statement statement;
  std::optional<BatchError> error;
};
ExecLineStatement parseExecLine(std::string_view text);

// The declarations of sp_executesql and sp_prepare: "@P1 nvarchar(4000),
// @P2 int OUTPUT".
Declarations parseDeclarations(std::string_view text);

}  // namespace tsql
