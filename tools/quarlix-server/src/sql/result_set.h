// Constant values as a result set: COLMETADATA of their types, and a ROW.
#pragma once

#include "sql/value.h"
#include "tds/answer_writer.h"

#include <string>
#include <vector>

namespace sql {

struct NamedValue {
  std::u16string name;  // empty: no name
  Value value;
};

// The columns, and unless `columnsOnly` (SET FMTONLY ON) the row.
void writeConstants(tds::AnswerWriter& writer, const tds::Collation& collation, const std::vector<NamedValue>& values,
                    bool columnsOnly);

}  // namespace sql
