// --trace: every srv_* call the procedure made, one line each, failures too.
#pragma once

#include "opends_host.hpp"

#include <iosfwd>

void writeTrace(const opends::Connection& connection, std::ostream& out);
