// Owners of what libldap hands out, each released with its own function.
#pragma once

#include <ldap.h>

#include <memory>

#include "ldap/sigpipe_hold.h"

namespace adsi {

struct LdapMessageFree {
  void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
struct LdapMemFree {
  void operator()(void* p) const { ldap_memfree(p); }
};
struct BervalArrayFree {
  void operator()(berval* v) const { ber_memfree(v); }
};
struct LdapControlFree {
  void operator()(LDAPControl* c) const { ldap_control_free(c); }
};
struct LdapControlsFree {
  void operator()(LDAPControl** c) const { ldap_controls_free(c); }
};
struct BerElementFree {
  void operator()(BerElement* b) const { ber_free(b, 0); }
};
struct LdapHandleClose {
  void operator()(LDAP* ld) const {
    SigpipeHold pipe;  // the unbind is written to a connection that may be gone
    ldap_unbind_ext_s(ld, nullptr, nullptr);
  }
};

using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMessageFree>;
using LdapStringPtr = std::unique_ptr<char, LdapMemFree>;
// An attribute's values as ldap_get_attribute_ber gives them: an array that
// ends with a null bv_val.
using BervalArrayPtr = std::unique_ptr<berval, BervalArrayFree>;
using LdapControlPtr = std::unique_ptr<LDAPControl, LdapControlFree>;
using LdapControlsPtr = std::unique_ptr<LDAPControl*, LdapControlsFree>;
using BerElementPtr = std::unique_ptr<BerElement, BerElementFree>;
using LdapHandlePtr = std::unique_ptr<LDAP, LdapHandleClose>;

}  // namespace adsi
