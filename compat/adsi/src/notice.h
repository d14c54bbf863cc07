// The directory's notices for the host's administrator (AdsCompatSetNoticeSink).
#pragma once

#include <string>

namespace adsi {

void notice(const std::string& line);

}  // namespace adsi
