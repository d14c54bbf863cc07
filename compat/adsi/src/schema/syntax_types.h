// The one mapping from attribute syntax to ADSTYPE, shared by every store.
#pragma once

#include <string_view>

#include "iads.h"

namespace adsi {

// An LDAP syntax OID (RFC 4517, or Active Directory's 1.2.840.113556.1.4.90x
// and its attributeSyntax 2.5.5.x), optionally with the equality rule that
// tells case-exact strings apart. Unknown syntaxes are case-ignore strings.
ADSTYPE adsTypeForSyntax(std::string_view syntaxOid, std::string_view equalityRule = {});

}  // namespace adsi
