// Which attribute holds each entry's DN for searches by name, as a server's
// own schema says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schema/schema.h"

using adsi::Schema;

namespace {

constexpr const char* kOpenLdapEntryDn =
    "( 1.3.6.1.1.20 NAME 'entryDN' DESC 'DN of the entry' EQUALITY distinguishedNameMatch "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )";
constexpr const char* kOpenLdapDistinguishedName =
    "( 2.5.4.49 NAME 'distinguishedName' DESC 'RFC4519: common supertype of DN attributes' "
    "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )";
constexpr const char* kActiveDirectoryDistinguishedName =
    "( 2.5.4.49 NAME 'distinguishedName' SYNTAX '1.3.6.1.4.1.1466.115.121.1.12' SINGLE-VALUE "
    "NO-USER-MODIFICATION )";

TEST(SchemaNameAttribute, OnlyADnEachEntryKeepsAsAUserAttribute) {
  struct Case {
    std::vector<const char*> definitions;
    const char* nameAttribute;
  } cases[] = {
      {{kActiveDirectoryDistinguishedName}, "distinguishedName"},
      {{kOpenLdapDistinguishedName, kOpenLdapEntryDn, kActiveDirectoryDistinguishedName}, "distinguishedName"},
      {{kOpenLdapDistinguishedName, kOpenLdapEntryDn}, ""},  // a supertype, and one made up when asked for
      {{"( 1.2.3 NAME 'entryDN' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE NO-USER-MODIFICATION )"}, "entryDN"},
      {{"( 1.2.3 NAME 'distinguishedName' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE )"}, ""},  // users write it
      {{"( 1.2.3 NAME 'distinguishedName' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE NO-USER-MODIFICATION )"},
       ""},
      {{}, ""},
  };
  for (const Case& c : cases) {
    Schema schema;
    std::string reason;
    for (const char* definition : c.definitions) ASSERT_TRUE(schema.learnAttributeType(definition, reason)) << reason;
    EXPECT_EQ(schema.nameAttribute(), c.nameAttribute) << (c.definitions.empty() ? "none" : c.definitions.back());
  }
  EXPECT_EQ(Schema::builtIn().nameAttribute(), "");
}

}  // namespace
