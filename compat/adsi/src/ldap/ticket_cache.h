// The Kerberos ticket cache the environment offers a SASL GSSAPI bind:
// where it is, and whether GSSAPI can use it now.
#pragma once

#include <string>

#include "ldap/bind_identity.h"

namespace adsi {

// KRB5CCNAME when set (a cache is named, whether or not it exists), else the
// default cache file /tmp/krb5cc_<uid> when it exists.
TicketCacheLocation locateTicketCache();

// Why GSSAPI cannot start with the credentials the environment gives
// (KRB5CCNAME's cache, or a client keytab in KRB5_CLIENT_KTNAME): the cache
// does not exist, holds no ticket, or its tickets have expired. "" when it
// can.
std::string ticketCacheProblem();

}  // namespace adsi
