// The words of a failure line: what Active Directory's bind diagnostic
// means.
#pragma once

#include <string>

namespace adsi {

// The meaning of the "data NNN" sub-code in Active Directory's diagnostic
// message of a failed bind (Samba writes it alike), "" when there is none or
// it is not one of the known account states.
std::string activeDirectoryReason(const std::string& diagnostic);

}  // namespace adsi
