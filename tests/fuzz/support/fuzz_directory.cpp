#include "fuzz_directory.h"

#include <cstring>
#include <string>

#include "adsi_compat.h"
#include "fuzz_check.h"

const char* const kFuzzRoot = "DC=fuzz,DC=example";

namespace {

const char kLdif[] = R"(version: 1

dn: DC=fuzz,DC=example
objectClass: top
objectClass: domain
dc: fuzz

dn: OU=People,DC=fuzz,DC=example
objectClass: top
objectClass: organizationalUnit
ou: People
description: staff

dn: CN=Ann Archer,OU=People,DC=fuzz,DC=example
objectClass: top
objectClass: person
objectClass: organizationalPerson
objectClass: user
cn: Ann Archer
sn: Archer
mail: ann@fuzz.example
telephoneNumber: +1 555 0100
telephoneNumber: +1 555 0101
userAccountControl: 512
lastLogon: 132514560000000000
whenCreated: 20110301140509.0Z
objectGUID:: AAECAwQFBgcICQoLDA0ODw==
isCriticalSystemObject: FALSE
memberOf: CN=Inner,OU=Groups,DC=fuzz,DC=example
objectCategory: CN=Person,CN=Schema,CN=Configuration,DC=fuzz,DC=example

dn:: Q049SsO8cmdlbiBNw7xsbGVyLE9VPVBlb3BsZSxEQz1mdXp6LERDPWV4YW1wbGU=
objectClass: top
objectClass: person
objectClass: user
cn:: SsO8cmdlbiBNw7xsbGVy
sn:: TcO8bGxlcg==
userAccountControl: 66050
lastLogon: -1
whenCreated: 19991231235959.0Z
description:: WmnDqyBhbmQgXDI4cGFyZW5zXDI5ICo=
description: second value
isCriticalSystemObject: TRUE

dn: OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: organizationalUnit
ou: Groups

dn: CN=Inner,OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: group
cn: Inner
groupType: -2147483646
member: CN=Ann Archer,OU=People,DC=fuzz,DC=example

dn: CN=Outer,OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: group
cn: Outer
member: CN=Inner,OU=Groups,DC=fuzz,DC=example
member: CN=Loop,OU=Groups,DC=fuzz,DC=example

dn: CN=Loop,OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: group
cn: Loop
member: CN=Outer,OU=Groups,DC=fuzz,DC=example

dn: OU=Deep,OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: organizationalUnit
ou: Deep

dn: CN=pc1,OU=Deep,OU=Groups,DC=fuzz,DC=example
objectClass: top
objectClass: computer
cn: pc1
dNSHostName: pc1.fuzz.example
wellKnownObjects: B:32:AA312825768811D1ADED00C04FD8D5CD:CN=Computers,DC=fuzz,DC=example
)";

// An entry whose values are wider than 8000 bytes (a text and an image
// column on every road) and one that spells NULL as data.
std::string wideEntries() {
  std::string photo;
  for (int i = 0; i < 3000; ++i) photo += "AAFOVUxM";  // 6 000 bytes of 00 01 'NULL' ...
  return "\ndn: CN=Wide,OU=People,DC=fuzz,DC=example\nobjectClass: top\nobjectClass: person\n"
         "objectClass: user\ncn: Wide\ndescription: " +
         std::string(9000, 'w') + "\njpegPhoto:: " + photo + photo + "\nsn: NULL\n";
}

}  // namespace

void mountFuzzDirectory() {
  char reason[512] = {};
  const std::string ldif = kLdif + wideEntries();
  const HRESULT result = AdsCompatMountLdifBuffer("fuzz.ldif", ldif.data(), ldif.size(), reason, sizeof reason);
  FUZZ_REQUIRE(result == S_OK, std::string("the fuzz directory does not load: ") + reason);
}
