#include "tsql/procedure_names.h"

#include "tsql/lexer.h"
#include "tsql/statements.h"

#include <algorithm>

namespace tsql {

const char* const kProcedureNames[4] = {"quarlix", "dbo.quarlix", "master..quarlix", "master.dbo.quarlix"};

bool namesTheProcedure(const std::string& joined) {
  const std::string name = lowered(joined);
  return std::any_of(std::begin(kProcedureNames), std::end(kProcedureNames),
                     [&name](const char* known) { return name == known; });
}

bool namesTheProcedure(const std::vector<std::string>& parts) { return namesTheProcedure(joinedName(parts)); }

}  // namespace tsql
