// What an SQL batch asks for. The server runs one EXEC of the procedure per
// batch; SET statements and USE master do nothing (there is no session state
// to change), SELECT @@VERSION answers a row, BEGIN, COMMIT and ROLLBACK of
// a transaction do nothing (the procedure only reads); everything else is
// refused.
#pragma once

#include <string>
#include <string_view>

enum class BatchKind { Exec, Settings, UseMaster, UseOther, SelectVersion, NoTransaction, Unsupported };

BatchKind classifyBatch(std::string_view utf8);
