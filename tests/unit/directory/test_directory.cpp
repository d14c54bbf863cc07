#include "test_directory.h"

#include <cstdio>
#include <sstream>

#include "adsi_compat.h"

const std::string DirectoryTest::kRoot = "DC=test,DC=example";

std::string DirectoryTest::path(const std::string& relative) {
  return "LDAP://" + (relative.empty() ? kRoot : relative + "," + kRoot);
}

namespace {

std::string entry(const std::string& dn, const std::string& body) { return "dn: " + dn + "\n" + body + "\n"; }

std::string user(const std::string& cn, const std::string& ou, const std::string& extra) {
  return entry("CN=" + cn + ",OU=" + ou + ",DC=test,DC=example",
               "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\nobjectClass: user\n"
               "cn: " + cn + "\n" + extra);
}

std::string testLdif() {
  std::ostringstream ldif;
  ldif << "version: 1\n\n";
  ldif << entry("DC=test,DC=example", "objectClass: top\nobjectClass: domain\ndc: test\n");
  for (const char* ou : {"People", "Bulk", "Groups", "Mixed"})
    ldif << entry(std::string("OU=") + ou + ",DC=test,DC=example",
                  std::string("objectClass: top\nobjectClass: organizationalUnit\nou: ") + ou + "\n");
  // objectGUID of Ann: 16 bytes 00 01 .. 0F.
  ldif << user("Ann Archer", "People", "sn: Archer\nobjectGUID:: AAECAwQFBgcICQoLDA0ODw==\ndescription: first\n");
  ldif << user("Bob Baker", "People",
               "sn: Baker\nmail: bob@test.example\ntelephoneNumber: 111\ntelephoneNumber: 222\n");
  ldif << user("Cy Cole", "People", "sn: Cole\nmail: cy@test.example\ntitle: Engineer\ndescription:: Wm/Dqw==\n");
  char name[8];
  for (int i = 0; i < 250; ++i) {
    std::snprintf(name, sizeof name, "u%03d", i);
    ldif << user(name, "Bulk", std::string("sn: ") + name + "\n");
  }
  ldif << entry("CN=Trio,OU=Groups,DC=test,DC=example",
                "objectClass: top\nobjectClass: group\ncn: Trio\n"
                "member: CN=Ann Archer,OU=People,DC=test,DC=example\n"
                "member: CN=Bob Baker,OU=People,DC=test,DC=example\n"
                "member: CN=Cy Cole,OU=People,DC=test,DC=example\n");
  ldif << entry("CN=Empty,OU=Groups,DC=test,DC=example", "objectClass: top\nobjectClass: group\ncn: Empty\n");
  ldif << entry("CN=Outer,OU=Groups,DC=test,DC=example",
                "objectClass: top\nobjectClass: group\ncn: Outer\nmember: CN=Trio,OU=Groups,DC=test,DC=example\n");
  ldif << user("m1", "Mixed", "sn: one\n");
  ldif << entry("CN=c1,OU=Mixed,DC=test,DC=example",
                "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\n"
                "objectClass: user\nobjectClass: computer\ncn: c1\ndNSHostName: c1.test.example\n");
  ldif << user("m2", "Mixed", "sn: two\n");
  ldif << entry("OU=Sub,OU=Mixed,DC=test,DC=example", "objectClass: top\nobjectClass: organizationalUnit\nou: Sub\n");
  ldif << user("m3", "Mixed", "sn: three\n");
  return ldif.str();
}

}  // namespace

void DirectoryTest::SetUpTestSuite() {
  const std::string ldif = testLdif();
  char reason[512] = {};
  ASSERT_EQ(AdsCompatMountLdifBuffer("test.ldif", ldif.data(), ldif.size(), reason, sizeof reason), S_OK)
      << reason;
}

void DirectoryTest::TearDownTestSuite() { AdsCompatUnmount(); }

void DirectoryTest::SetUp() { AdsCompatClearFaults(); }
void DirectoryTest::TearDown() { AdsCompatClearFaults(); }
