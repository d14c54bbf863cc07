// Where a DN's first RDN ends, without parsing the rest: what follows is the
// parent as written, the same RDNs a full parse finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/dn.h"

using adsi::firstRdnEnd;
using adsi::parseDn;
using adsi::Rdn;

namespace {

TEST(FirstRdnEnd, TheParentAsAFullParseFindsIt) {
  const char* dns[] = {
      "cn=a,ou=b,dc=c",
      "cn=Smith\\, John,ou=people,dc=example,dc=com",
      "cn=Jones\\2C Ann,ou=edges,dc=example,dc=com",
      "cn=back\\\\,ou=x",
      "cn=\"quoted, value\",ou=x",
      "cn= \"spaced, quoted\" ,ou=x",
      "cn=multi+uid=m1,ou=odd,dc=example,dc=com",
      "cn=semi;ou=old,dc=style",
      "cn=Star*(1),ou=odd",
      "cn=a\"b,ou=x",
  };
  for (const char* dn : dns) {
    std::vector<Rdn> all;
    ASSERT_TRUE(parseDn(dn, all)) << dn;
    const size_t end = firstRdnEnd(dn);
    ASSERT_NE(end, std::string::npos) << dn;
    std::vector<Rdn> first, parent;
    ASSERT_TRUE(parseDn(std::string(dn).substr(0, end), first)) << dn;
    ASSERT_TRUE(parseDn(std::string(dn).substr(end + 1), parent)) << dn;
    ASSERT_EQ(first.size(), 1u) << dn;
    EXPECT_EQ(first[0].text, all[0].text) << dn;
    ASSERT_EQ(parent.size(), all.size() - 1) << dn;
    for (size_t i = 0; i < parent.size(); ++i) EXPECT_EQ(parent[i].text, all[i + 1].text) << dn;
  }
  for (const char* one : {"dc=com", "cn=a\\,b", "cn=\"a,b\""}) EXPECT_EQ(firstRdnEnd(one), std::string::npos) << one;
}

}  // namespace
