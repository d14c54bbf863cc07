// Filters over a small directory: every form, each attribute's matching rule,
// and Active Directory's bitwise and in-chain rules.
#include "adsi_test_support.h"

namespace {

const char* const kLdif = R"(version: 1

dn: DC=f,DC=test
objectClass: top
objectClass: domain
dc: f

dn: OU=Sales,DC=f,DC=test
objectClass: top
objectClass: organizationalUnit
ou: Sales

dn: CN=Ann One,OU=Sales,DC=f,DC=test
objectClass: top
objectClass: person
objectClass: user
cn: Ann One
sn: One
mail: ann.one@f.test
description: Hello   World
userAccountControl: 514
badPwdCount: 10
whenCreated: 20100101120000.0Z
isCriticalSystemObject: TRUE
objectGUID:: AAECAwQFBgcICQoLDA0ODw==
objectCategory: CN=Person,CN=Schema,CN=Configuration,DC=f,DC=test
memberOf: CN=G1,DC=f,DC=test

dn: CN=Ben Two,OU=Sales,DC=f,DC=test
objectClass: top
objectClass: person
objectClass: user
cn: Ben Two
sn: Two
manager: CN=Ann One,OU=Sales,DC=f,DC=test
userAccountControl: 512
badPwdCount: 3
whenCreated: 20160601000000.0Z
isCriticalSystemObject: FALSE
objectCategory: CN=Person,CN=Schema,CN=Configuration,DC=f,DC=test

dn: CN=Star*,DC=f,DC=test
objectClass: top
objectClass: user
cn: Star*
badPwdCount: 2
userAccountControl: 66048

dn: CN=G1,DC=f,DC=test
objectClass: top
objectClass: group
cn: G1
groupType: -2147483646
member: CN=Ann One,OU=Sales,DC=f,DC=test

dn: CN=G2,DC=f,DC=test
objectClass: top
objectClass: group
cn: G2
groupType: 2
member: CN=G1,DC=f,DC=test

dn: CN=G3,DC=f,DC=test
objectClass: top
objectClass: group
cn: G3
groupType: 2147483650
member: CN=G4,DC=f,DC=test
member: CN=Ben Two,OU=Sales,DC=f,DC=test

dn: CN=G4,DC=f,DC=test
objectClass: top
objectClass: group
cn: G4
member: CN=G3,DC=f,DC=test
)";

using Names = std::vector<std::string>;

class FilterTest : public AdsiTest {
 protected:
  void SetUp() override {
    mount(kLdif);
    AdsiTest::SetUp();
  }
  Names match(const std::string& filter) { return searchValues("LDAP://DC=f,DC=test", filter, "cn"); }
};

TEST_F(FilterTest, StringsMatchWithoutRegardToCaseOrSpacing) {
  EXPECT_EQ(match("(cn=ann one)"), Names{"Ann One"});
  EXPECT_EQ(match("(SN=ONE)"), Names{"Ann One"});
  EXPECT_EQ(match("(description=hello world)"), Names{"Ann One"});
  EXPECT_EQ(match("(description~=helloworld)"), Names{"Ann One"});
  EXPECT_EQ(match("cn=Ben Two"), Names{"Ben Two"});  // no parentheses, as ADSI accepts
}

TEST_F(FilterTest, SubstringsAndPresence) {
  EXPECT_EQ(match("(cn=A*)"), Names{"Ann One"});
  EXPECT_EQ(match("(cn=*two)"), Names{"Ben Two"});
  EXPECT_EQ(match("(cn=*n*o*)"), (Names{"Ann One", "Ben Two"}));
  EXPECT_EQ(match("(mail=*@F.TEST)"), Names{"Ann One"});
  EXPECT_EQ(match("(mail=*)"), Names{"Ann One"});
  EXPECT_EQ(match("(manager=*)"), Names{"Ben Two"});
  EXPECT_EQ(match("(cn=G*)"), (Names{"G1", "G2", "G3", "G4"}));  // file order
}

TEST_F(FilterTest, EscapedCharactersAreLiteral) {
  EXPECT_EQ(match("(cn=Star\\2a)"), Names{"Star*"});
  EXPECT_EQ(match("(cn=Star\\2A)"), Names{"Star*"});
  EXPECT_EQ(match("(cn=*\\2a)"), Names{"Star*"});
  EXPECT_EQ(match("(objectGUID=\\00\\01\\02\\03\\04\\05\\06\\07\\08\\09\\0a\\0b\\0c\\0d\\0e\\0f)"), Names{"Ann One"});
  EXPECT_EQ(match("(objectGUID=\\00\\01)"), Names{});
}

TEST_F(FilterTest, OrderingFollowsEachSyntax) {
  // Integers compare as numbers (10 > 3 > 2), not as text.
  EXPECT_EQ(match("(badPwdCount>=3)"), (Names{"Ann One", "Ben Two"}));
  EXPECT_EQ(match("(badPwdCount<=3)"), (Names{"Ben Two", "Star*"}));
  EXPECT_EQ(match("(whenCreated>=20150101000000.0Z)"), Names{"Ben Two"});
  EXPECT_EQ(match("(whenCreated<=20100101140000+0200)"), Names{"Ann One"});  // 12:00 UTC
  EXPECT_EQ(match("(whenCreated<=20100101133000+0200)"), Names{});
  EXPECT_EQ(match("(cn>=G3)"), (Names{"Star*", "G3", "G4"}));
}

TEST_F(FilterTest, OtherSyntaxesMatchByTheirRules) {
  EXPECT_EQ(match("(isCriticalSystemObject=true)"), Names{"Ann One"});
  EXPECT_EQ(match("(manager=cn=ann one, ou=SALES,dc=f,dc=test)"), Names{"Ben Two"});
  EXPECT_EQ(match("(objectCategory=person)"), (Names{"Ann One", "Ben Two"}));
  EXPECT_EQ(match("(objectCategory=CN=Person,CN=Schema,CN=Configuration,DC=f,DC=test)"), (Names{"Ann One", "Ben Two"}));
  EXPECT_EQ(match("(objectClass=person)"), (Names{"Ann One", "Ben Two"}));
  // A 32-bit integer matches a filter value written signed or unsigned; a
  // value stored outside 32 bits (G3's) is a large integer, equal only to itself.
  EXPECT_EQ(match("(groupType=-2147483646)"), (Names{"G1"}));
  EXPECT_EQ(match("(groupType=2147483650)"), (Names{"G1", "G3"}));
}

TEST_F(FilterTest, AndOrNot) {
  EXPECT_EQ(match("(&(objectClass=user)(|(sn=One)(sn=Two)))"), (Names{"Ann One", "Ben Two"}));
  EXPECT_EQ(match("(&(objectClass=user)(!(sn=One)))"), (Names{"Ben Two", "Star*"}));
  EXPECT_EQ(match("(&(objectClass=group) (!(member=*)))"), Names{});
  EXPECT_EQ(match("(|(cn=nobody)(cn=G4))"), Names{"G4"});
  // A test that cannot be decided stays undecided under negation.
  EXPECT_EQ(match("(badPwdCount>=abc)"), Names{});
  EXPECT_EQ(match("(&(objectClass=user)(!(badPwdCount>=abc)))"), Names{});
}

TEST_F(FilterTest, BitwiseMatchingRules) {
  // 1.2.840.113556.1.4.803: every bit set; 804: any bit set.
  EXPECT_EQ(match("(userAccountControl:1.2.840.113556.1.4.803:=2)"), Names{"Ann One"});
  EXPECT_EQ(match("(userAccountControl:1.2.840.113556.1.4.803:=514)"), Names{"Ann One"});
  EXPECT_EQ(match("(userAccountControl:1.2.840.113556.1.4.804:=65538)"), (Names{"Ann One", "Star*"}));
  EXPECT_EQ(match("(&(objectClass=user)(!(userAccountControl:1.2.840.113556.1.4.803:=2)))"),
            (Names{"Ben Two", "Star*"}));
  // Security groups: the sign bit, written unsigned or signed, of a 32-bit
  // value; G3's 2147483650 is a large integer, whose sign bit is not set.
  EXPECT_EQ(match("(groupType:1.2.840.113556.1.4.803:=2147483648)"), (Names{"G1", "G3"}));
  EXPECT_EQ(match("(groupType:1.2.840.113556.1.4.803:=-2147483648)"), Names{"G1"});
}

TEST_F(FilterTest, InChainFollowsNestedMembershipBothWays) {
  const std::string rule = ":1.2.840.113556.1.4.1941:=";
  // Ann is in G1 (her memberOf and G1's member say so), G1 is in G2.
  EXPECT_EQ(match("(memberOf" + rule + "CN=G2,DC=f,DC=test)"), (Names{"Ann One", "G1"}));
  EXPECT_EQ(match("(memberOf" + rule + "CN=G1,DC=f,DC=test)"), Names{"Ann One"});
  EXPECT_EQ(match("(member" + rule + "CN=Ann One,OU=Sales,DC=f,DC=test)"), (Names{"G1", "G2"}));
  // G3 and G4 contain each other: the walk ends, and each reaches itself.
  EXPECT_EQ(match("(memberOf" + rule + "CN=G3,DC=f,DC=test)"), (Names{"Ben Two", "G3", "G4"}));
  EXPECT_EQ(match("(member" + rule + "CN=Ben Two,OU=Sales,DC=f,DC=test)"), (Names{"G3", "G4"}));
  // Any DN-valued attribute chains the same way.
  EXPECT_EQ(match("(manager" + rule + "CN=Ann One,OU=Sales,DC=f,DC=test)"), Names{"Ben Two"});
  EXPECT_EQ(match("(memberOf" + rule + "CN=Nobody,DC=f,DC=test)"), Names{});
}

TEST_F(FilterTest, OtherExtensibleMatches) {
  EXPECT_EQ(match("(cn:caseExactMatch:=Ann One)"), Names{"Ann One"});
  EXPECT_EQ(match("(cn:caseExactMatch:=ann one)"), Names{});
  EXPECT_EQ(match("(cn:2.5.13.2:=ann one)"), Names{"Ann One"});
  EXPECT_EQ(match("(ou:dn:=sales)"), (Names{"<none>", "Ann One", "Ben Two"}));
  EXPECT_EQ(match("(cn:1.2.3.4:=Ann One)"), Names{});  // an unknown rule matches nothing
}

}  // namespace
