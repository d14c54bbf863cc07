// The account state in Active Directory's bind diagnostic.
#include <gtest/gtest.h>

#include "ldap/failure_reason.h"

namespace {

TEST(FailureReason, TheSubCodeIsFoundWhereverTheServerPutsIt) {
  // Active Directory's form, and Samba's.
  EXPECT_EQ(adsi::activeDirectoryReason("80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, "
                                        "data 775, v4563"),
            "Active Directory says the account is locked out (data 775)");
  EXPECT_EQ(adsi::activeDirectoryReason("Invalid credentials (80090308: LdapErr: DSID-0C0903A9, comment: "
                                        "AcceptSecurityContext error, data 52E, v1db1)"),
            "Active Directory says the name or the password is wrong (data 52e)");
  // "data 0" and codes that are not account states say nothing; nor does a
  // message without the sub-code.
  EXPECT_EQ(
      adsi::activeDirectoryReason("000004DC: LdapErr: DSID-0C090A5C, comment: In order to perform this "
                                  "operation a successful bind must be completed on the connection., data 0, v4563"),
      "");
  EXPECT_EQ(adsi::activeDirectoryReason("data 5300, v1"), "");
  EXPECT_EQ(adsi::activeDirectoryReason("no such data"), "");
  EXPECT_EQ(adsi::activeDirectoryReason(""), "");
}

}  // namespace
