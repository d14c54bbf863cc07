#include "test_directory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "adsi_compat.h"

const std::string DirectoryTest::kRoot = "DC=test,DC=example";

std::string DirectoryTest::path(const std::string& relative) {
  return "LDAP://" + (relative.empty() ? kRoot : relative + "," + kRoot);
}

namespace {

std::string base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

std::string entry(const std::string& dn, const std::string& body) { return "dn: " + dn + "\n" + body + "\n"; }

std::string user(const std::string& cn, const std::string& ou, const std::string& extra) {
  return entry("CN=" + cn + ",OU=" + ou + ",DC=test,DC=example",
               "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\nobjectClass: user\n"
               "cn: " +
                   cn + "\n" + extra);
}

// Values a result set must describe with care, under OU=Wide, in this order.
std::string wideEntries() {
  std::ostringstream ldif;
  // 20 000 characters of description, a 100 000-byte photo and one property
  // of 5 000 values.
  std::string wide = "description: " + std::string(20000, 'd') + "\njpegPhoto:: ";
  wide += base64(std::string(100000, '\xA5'));
  wide += "\n";
  char value[16];
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(value, sizeof value, "v%04d", i);
    wide += std::string("otherMailbox: ") + value + "\n";
  }
  ldif << user("Wide Values", "Wide", wide);
  // The text NULL as data: a description and four GUID bytes that spell it.
  ldif << user("Null Text", "Wide", "description: NULL\nobjectGUID:: TlVMTA==\n");
  // No photo first, a photo second: the column is binary all the same.
  ldif << user("No Photo", "Wide", "sn: first\n");
  ldif << user("With Photo", "Wide", "sn: second\nthumbnailPhoto:: AAFOVUxM/w==\n");
  // More attributes than a result set has room for columns.
  std::string many;
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(value, sizeof value, "a%04d", i);
    many += std::string(value) + ": x\n";
  }
  ldif << user("Many Attributes", "Wide", many);
  return ldif.str();
}

std::string testLdif() {
  std::ostringstream ldif;
  ldif << "version: 1\n\n";
  ldif << entry("DC=test,DC=example", "objectClass: top\nobjectClass: domain\ndc: test\n");
  for (const char* ou : {"People", "Bulk", "Groups", "Mixed", "Wide"})
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
  ldif << wideEntries();
  return ldif.str();
}

}  // namespace

void DirectoryTest::SetUpTestSuite() {
  const std::string ldif = testLdif();
  char reason[512] = {};
  ASSERT_EQ(AdsCompatMountLdifBuffer("test.ldif", ldif.data(), ldif.size(), reason, sizeof reason), S_OK) << reason;
}

void DirectoryTest::TearDownTestSuite() { AdsCompatUnmount(); }

void DirectoryTest::SetUp() { AdsCompatClearFaults(); }
void DirectoryTest::TearDown() { AdsCompatClearFaults(); }
