// Integrated logins: the SSPI tokens of a LOGIN7 (SPNEGO wrapping Kerberos,
// as most clients send them, or Kerberos alone) accepted through GSSAPI with
// the service's keytab, which holds the key of every SPN clients ask for
// (MSSQLSvc/host:port, MSSQLSvc/host) and, for delegation, of the account
// itself. NTLM is refused, also inside SPNEGO.
//
// With delegation the service's credential can initiate as well: GSSAPI gets
// the account a ticket-granting ticket with the keytab's key (and a new one
// before it runs out), and a login whose service ticket is forwardable yields
// a credential of the caller that the KDC honours for the services the
// account may delegate to (S4U2Proxy, the client's ticket as evidence).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "login/gss_holders.h"

// A login or a keytab that cannot be used; what() says why, in GSSAPI's and
// the KDC's words where they gave any.
class KerberosFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class KerberosLogin;

class KerberosAcceptor {
 public:
  // Reads the keytab (a path, or a krb5 keytab name such as FILE:/path).
  // With `delegation`, gets the account's ticket now, so that a keytab whose
  // key the KDC no longer takes fails here rather than at each login.
  KerberosAcceptor(const std::string& keytab, bool delegation);

  // The security context of one login, for its SSPI exchange.
  KerberosLogin beginLogin() const;

  bool delegation() const { return delegation_; }
  // The account the service initiates as (with delegation), e.g. svc-sql@QX.TEST,
  // and its credential, to read the directory as the service itself (which
  // groups a caller is in).
  const std::string& serviceName() const { return serviceName_; }
  gss_cred_id_t credential() const { return credential_.get(); }

 private:
  GssCredential credential_;
  bool delegation_;
  std::string serviceName_;
};

class KerberosLogin {
 public:
  struct Step {
    std::vector<unsigned char> reply;  // for the client (the SSPI token), when not empty
    bool complete = false;             // false: the client sends another token (an SSPI message)
  };

  explicit KerberosLogin(gss_cred_id_t acceptorCredential) : acceptorCredential_(acceptorCredential) {}

  // Takes one token of the client's. Throws KerberosFailure when the token
  // is NTLM, when GSSAPI refuses it (an expired ticket, a ticket for an SPN
  // the keytab has no key of, a key of another version), or when the
  // mechanism agreed on is not Kerberos.
  Step accept(const unsigned char* token, size_t size);

  // After the last step: the client's principal, e.g. dave@QX.TEST.
  const std::string& principal() const { return principal_; }

  // After the last step: the caller's credential for delegation, or an empty
  // one when there is none (the acceptor was made without delegation, or the
  // client's ticket is not forwardable: its account may not be delegated, or
  // its ticket-granting ticket was not forwardable). Taken once.
  GssCredential takeDelegatedCredential() { return std::move(delegated_); }

 private:
  gss_cred_id_t acceptorCredential_;  // the acceptor's, which outlives the login
  GssContext context_;
  GssCredential delegated_;
  std::string principal_;
};

// GSSAPI's words for a major and minor status.
std::string gssStatusText(OM_uint32 major, OM_uint32 minor);
