// Loading LDIF: what RFC 2849 allows, what is refused (with file, line and
// reason), and the attribute types a subschema entry declares.
#include "adsi_test_support.h"

namespace {

using LdifTest = AdsiTest;

std::string mountError(const std::string& ldif) {
  char reason[256] = "unchanged";
  HRESULT hr = AdsCompatMountLdifBuffer("bad.ldif", ldif.data(), ldif.size(), reason, sizeof reason);
  EXPECT_TRUE(FAILED(hr)) << ldif;
  return reason;
}

TEST_F(LdifTest, MalformedFilesAreRefusedWithFileLineAndReason) {
  struct Case {
    const char* ldif;
    const char* error;
  } cases[] = {
      {"dn: DC=t\nobjectClass top\n", "bad.ldif:2: missing ':' after the attribute name"},
      {"dn: DC=t\ncn:: not*base64\n", "bad.ldif:2: invalid base64 value of 'cn'"},
      {"dn: DC=t\njpegPhoto:< file:///etc/passwd\n",
       "bad.ldif:2: values read from URLs are not supported ('jpegPhoto')"},
      {"dn: DC=t\nchangetype: add\n", "bad.ldif:2: change records are not supported"},
      {"version: 1\n\ncn: x\n", "bad.ldif:3: a record must begin with 'dn:'"},
      {"version: 2\n", "bad.ldif:1: unsupported LDIF version '2'"},
      {" folded\n", "bad.ldif:1: continuation line without a line to continue"},
      {"dn: DC=t\n\ndn: CN=a,DC=t\n\ndn: cn=A , dc=T\n", "bad.ldif:5: duplicate entry 'cn=A , dc=T' (first at line 3)"},
      {"dn: CN=a,,DC=t\n", "bad.ldif:1: invalid DN 'CN=a,,DC=t'"},
      {"dn: DC=t\nuserAccountControl: 512\nuserAccountControl: lots\n",
       "bad.ldif:3: 'lots' is not a valid integer (attribute 'userAccountControl')"},
      {"dn: DC=t\nwhenCreated: 20111301000000Z\n",
       "bad.ldif:2: '20111301000000Z' is not a valid time (attribute 'whenCreated')"},
      {"dn: DC=t\nmanager: nobody\n", "bad.ldif:2: 'nobody' is not a valid DN (attribute 'manager')"},
      {"dn: DC=t\nwellKnownObjects: B:3:abc:DC=t\n",
       "bad.ldif:2: 'B:3:abc:DC=t' is not a valid DN with binary (attribute 'wellKnownObjects')"},
      {"dn: DC=t\ndn: DC=u\n", "bad.ldif:2: a second 'dn:' in one record (missing blank line?)"},
      {"dn: cn=schema\nattributeTypes: ( 1.2.3 NAME 'x' SYNTAX\n",
       "bad.ldif:2: attribute type definition does not parse"},
  };
  for (const Case& c : cases) {
    std::string error = mountError(c.ldif);
    EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << c.ldif;
  }
}

TEST_F(LdifTest, AMissingFileIsReportedByName) {
  char reason[256] = {};
  EXPECT_TRUE(FAILED(AdsCompatMountLdif("/nonexistent/corp.ldif", reason, sizeof reason)));
  EXPECT_EQ(std::string(reason).rfind("/nonexistent/corp.ldif:0: cannot open the file", 0), 0u) << reason;
}

TEST_F(LdifTest, FoldedLinesBase64CommentsAndCrlf) {
  mount(
      "# a comment\r\n# folded comment\r\n  goes on\r\nversion: 1\r\n\r\n"
      "dn: DC=t\r\nobjectClass: domain\r\n\r\n"
      "dn:: Q049SsO8cmdlbixEQz10\r\n"  // CN=Jürgen,DC=t
      "objectClass: user\r\n"
      "description: a long\r\n  value fol\r\n ded\r\n  twice\r\n"
      "cn:: SsO8cmdlbg==\r\n"
      "mail:\r\n");
  std::vector<std::string> values = searchValues("LDAP://DC=t", "(cn=jürgen)", "description");
  EXPECT_EQ(values, std::vector<std::string>{"a long value folded twice"});
  EXPECT_EQ(searchValues("LDAP://DC=t", "(cn=jürgen)", "cn"), std::vector<std::string>{"Jürgen"});
  EXPECT_EQ(searchValues("LDAP://DC=t", "(cn=jürgen)", "mail"), std::vector<std::string>{""});
}

TEST_F(LdifTest, SubschemaEntriesDeclareAttributeTypes) {
  mount(
      "dn: cn=Subschema\nobjectClass: subschema\n"
      "attributeTypes: ( 1.9.1 NAME 'badge' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )\n"
      "attributeTypes: ( 1.9.2 NAME ( 'code' 'codeAlias' ) EQUALITY caseExactMatch\n"
      "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )\n"
      "attributeTypes: ( 1.9.3 NAME 'zip' SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )\n"
      "attributeTypes: ( 1.9.4 NAME 'country' SYNTAX 1.3.6.1.4.1.1466.115.121.1.44 )\n"
      "attributeTypes: ( 1.9.5 NAME 'proxy' SYNTAX '1.2.840.113556.1.4.904' )\n"
      "attributeTypes: ( 1.9.6 NAME 'subBadge' SUP badge )\n"
      "attributeTypes: ( 1.9.7 NAME 'quota' SYNTAX 1.2.840.113556.1.4.906 )\n\n"
      "dn: DC=t\nobjectClass: domain\nbadge: 42\ncode: AbC\ncodeAlias: x\nzip: 12345\ncountry: DE\n"
      "proxy: S:5:hello:CN=x,DC=t\nsubBadge: 7\nquota: -1\nunknownThing: 1\n");
  Ref<IDirectorySearch> search;
  ASSERT_EQ(bindPath("LDAP://DC=t", IID_IDirectorySearch, search), S_OK);
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(u"(badge>=10)"), nullptr, 0xFFFFFFFF, &handle), S_OK);
  ASSERT_EQ(search->GetNextRow(handle), S_OK);
  struct Expect {
    const char16_t* name;
    ADSTYPE type;
  } expected[] = {{u"badge", ADSTYPE_INTEGER},
                  {u"code", ADSTYPE_CASE_EXACT_STRING},
                  {u"codeAlias", ADSTYPE_CASE_EXACT_STRING},
                  {u"zip", ADSTYPE_NUMERIC_STRING},
                  {u"country", ADSTYPE_PRINTABLE_STRING},
                  {u"proxy", ADSTYPE_DN_WITH_STRING},
                  {u"subBadge", ADSTYPE_INTEGER},
                  {u"quota", ADSTYPE_LARGE_INTEGER},
                  {u"unknownThing", ADSTYPE_CASE_IGNORE_STRING}};
  for (const Expect& e : expected) {
    ADS_SEARCH_COLUMN c;
    ASSERT_EQ(search->GetColumn(handle, const_cast<LPWSTR>(e.name), &c), S_OK) << narrow(e.name);
    EXPECT_EQ(c.dwADsType, e.type) << narrow(e.name);
    if (e.type == ADSTYPE_DN_WITH_STRING) {
      EXPECT_EQ(narrow(c.pADsValues[0].pDNWithString->pszStringValue), "hello");
      EXPECT_EQ(narrow(c.pADsValues[0].pDNWithString->pszDNString), "CN=x,DC=t");
    }
    search->FreeColumn(&c);
  }
  search->CloseSearchHandle(handle);
  // Case-exact strings match case-exactly.
  EXPECT_EQ(searchValues("LDAP://DC=t", "(code=abc)", "code"), std::vector<std::string>{});
  EXPECT_EQ(searchValues("LDAP://DC=t", "(code=AbC)", "code"), std::vector<std::string>{"AbC"});
  // The subschema entry is no part of the naming context.
  Ref<IADs> root;
  ASSERT_EQ(bindPath("LDAP://localhost", IID_IADs, root), S_OK);
  Bstr name;
  root->get_Name(name.put());
  EXPECT_EQ(name.utf8(), "DC=t");
}

TEST_F(LdifTest, AdAttributeSchemaEntriesDeclareTypesToo) {
  mount(
      "dn: CN=Badge-Level,CN=Schema,CN=Configuration,DC=t\nobjectClass: attributeSchema\n"
      "lDAPDisplayName: badgeLevel\nattributeSyntax: 2.5.5.9\noMSyntax: 2\n\n"
      "dn: DC=t\nobjectClass: domain\nbadgeLevel: 3\n");
  EXPECT_EQ(searchValues("LDAP://DC=t", "(badgeLevel>=20)", "badgeLevel"), std::vector<std::string>{});
  EXPECT_EQ(searchValues("LDAP://DC=t", "(badgeLevel<=20)", "dc").size(), 1u);
}

}  // namespace

namespace {

// A reserved character written as a hex pair shows with a backslash, as the
// LDAP store shows what OpenLDAP sends: in entry DNs, so in ADsPaths, and in
// DN values. Other hex pairs, and backslash escapes, stay as written.
TEST_F(LdifTest, HexEscapedReservedCharactersShowWithABackslash) {
  mount(
      "dn: dc=w,dc=test\nobjectClass: domain\ndc: w\n\n"
      "dn: cn=Smith\\2C John,dc=w,dc=test\nobjectClass: person\ncn: Smith, John\nsn: Smith\n\n"
      "dn: cn=a\\2Bb\\3Dc\\20,dc=w,dc=test\nobjectClass: person\ncn: a+b=c \nsn: A\n\n"
      "dn: cn=\\23x\\C3\\A9\\,y,dc=w,dc=test\nobjectClass: person\ncn: #x\xC3\xA9,y\nsn: X\n\n"
      "dn: cn=g,dc=w,dc=test\nobjectClass: groupOfNames\ncn: g\nmember: cn=smith\\2c John,dc=w,dc=test\n\n");
  EXPECT_EQ(searchValues("LDAP://dc=w,dc=test", "(objectClass=person)", "ADsPath"),
            (std::vector<std::string>{"LDAP://cn=Smith\\, John,dc=w,dc=test", "LDAP://cn=a\\+b\\=c\\ ,dc=w,dc=test",
                                      "LDAP://cn=\\#x\\C3\\A9\\,y,dc=w,dc=test"}));
  EXPECT_EQ(searchValues("LDAP://dc=w,dc=test", "(cn=g)", "member"),
            std::vector<std::string>{"cn=smith\\, John,dc=w,dc=test"});
  // Either spelling names the entry.
  Ref<IADs> smith;
  EXPECT_EQ(bindPath("LDAP://cn=Smith\\2C John,dc=w,dc=test", IID_IADs, smith), S_OK);
  EXPECT_EQ(bindPath("LDAP://cn=Smith\\, John,dc=w,dc=test", IID_IADs, smith), S_OK);
}

}  // namespace
