// The names a client calls the procedure by, in any letter case: quarlix,
// dbo.quarlix, master..quarlix and master.dbo.quarlix.
#pragma once

#include <string>
#include <vector>

namespace tsql {

extern const char* const kProcedureNames[4];

// The name's parts as written, brackets removed ({"master", "", "quarlix"}).
bool namesTheProcedure(const std::vector<std::string>& parts);
bool namesTheProcedure(const std::string& joined);

}  // namespace tsql
