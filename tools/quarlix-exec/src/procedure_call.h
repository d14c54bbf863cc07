// One call of the procedure, the way a server makes it: load the library,
// check __GetXpVersion, hand the parameters to a connection, call quarlix.
#pragma once

#include "host_parameter.h"
#include "opends_host.hpp"

#include <string>
#include <vector>

// False with a one-line reason when the call could not be made; otherwise
// `returnValue` is what quarlix returned and `connection` holds the record.
bool callProcedure(const std::string &libraryPath, const std::vector<HostParameter> &parameters,
                   opends::Connection &connection, int &returnValue, std::string &error);
