// What a server with --keytab takes integrated logins with: the service's
// acceptor and who may log in. Read-only after start-up.
#pragma once

#include "login/allowed_logins.h"
#include "login/kerberos_acceptor.h"

struct IntegratedLogins {
  KerberosAcceptor acceptor;
  AllowedLogins allowed;
};
