// The words of a failure line: what Active Directory's bind diagnostic
// means, and who tried what.
#pragma once

#include <string>

#include "ldap/adsi_config.h"
#include "ldap/ldap_target.h"

namespace adsi {

// The meaning of the "data NNN" sub-code in Active Directory's diagnostic
// message of a failed bind (Samba writes it alike), "" when there is none or
// it is not one of the known account states.
std::string activeDirectoryReason(const std::string& diagnostic);

// "as DN (simple bind)", "anonymously", "with Kerberos (SASL GSSAPI, ticket
// cache ...)".
std::string identityText(const std::string& uri, const AdsiConfig& config);

}  // namespace adsi
