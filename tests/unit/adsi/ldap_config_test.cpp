// The stand-in's configuration for real directories, the identity it binds
// with, and the server a path names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ads_path.h"
#include "adserr.h"
#include "ldap/adsi_config.h"
#include "ldap/ldap_bind.h"
#include "ldap/ldap_target.h"

namespace {

using namespace adsi;

// A file in a fresh folder, removed at the end of the test.
class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/adsi-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    unsetenv("QUARLIX_ADSI_CONFIG");
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  std::string write(const std::string& name, const std::string& text) {
    std::string path = folder_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  std::string folder_;
};

using AdsiConfigTest = TempFiles;

TEST_F(AdsiConfigTest, DefaultsWithoutAFile) {
  AdsiConfig config;
  std::string error;
  ASSERT_TRUE(parseAdsiConfig("", "empty.conf", config, error)) << error;
  EXPECT_EQ(config.networkTimeoutSeconds, 10);
  EXPECT_EQ(config.timeoutSeconds, 30);
  EXPECT_EQ(config.idleTimeoutSeconds, 60);
  EXPECT_EQ(config.startTls, StartTlsMode::Try);
  EXPECT_TRUE(config.bindDn.empty());
  EXPECT_FALSE(config.hasPassword);
}

TEST_F(AdsiConfigTest, EveryKey) {
  std::string path = write("adsi.conf",
                           "# identity\n"
                           "binddn   cn=reader,dc=example,dc=com\n"
                           "\n"
                           "bindpw  two words \t\n"
                           "sasl_mech GSSAPI\r\n"
                           "network_timeout 3\n"
                           "timeout 45\n"
                           "starttls demand\n"
                           "tls_cacert /etc/ssl/ca.pem\n"
                           "tls_reqcert allow\n"
                           "ldaps_ports 1636, 13269\n"
                           "idle_timeout 0\n");
  setenv("QUARLIX_ADSI_CONFIG", path.c_str(), 1);
  AdsiConfig config;
  std::string error;
  ASSERT_TRUE(loadAdsiConfig(config, error)) << error;
  EXPECT_EQ(config.source, path);
  EXPECT_EQ(config.bindDn, "cn=reader,dc=example,dc=com");
  EXPECT_EQ(config.bindPassword, "two words");
  EXPECT_EQ(config.saslMechanism, "GSSAPI");
  EXPECT_EQ(config.networkTimeoutSeconds, 3);
  EXPECT_EQ(config.timeoutSeconds, 45);
  EXPECT_EQ(config.startTls, StartTlsMode::Demand);
  EXPECT_EQ(config.tlsCaCert, "/etc/ssl/ca.pem");
  EXPECT_EQ(config.tlsRequireCert, LDAP_OPT_X_TLS_ALLOW);
  EXPECT_EQ(config.ldapsPorts, (std::vector<std::string>{"1636", "13269"}));
  EXPECT_EQ(config.idleTimeoutSeconds, 0);
}

TEST_F(AdsiConfigTest, EveryCertificateCheckLevel) {
  const std::pair<const char*, int> levels[] = {{"never", LDAP_OPT_X_TLS_NEVER},
                                                {"allow", LDAP_OPT_X_TLS_ALLOW},
                                                {"try", LDAP_OPT_X_TLS_TRY},
                                                {"demand", LDAP_OPT_X_TLS_DEMAND},
                                                {"hard", LDAP_OPT_X_TLS_HARD}};
  for (const auto& [name, level] : levels) {
    AdsiConfig config;
    std::string error;
    ASSERT_TRUE(parseAdsiConfig(std::string("tls_reqcert ") + name + "\n", "t.conf", config, error)) << error;
    EXPECT_EQ(config.tlsRequireCert, level) << name;
  }
  AdsiConfig defaults;
  std::string error;
  ASSERT_TRUE(parseAdsiConfig("", "t.conf", defaults, error));
  EXPECT_EQ(defaults.tlsRequireCert, -1);  // libldap's own setting holds
}

TEST_F(AdsiConfigTest, PasswordFileBesideTheConfiguration) {
  write("secret", "s3cret\nignored second line\n");
  std::string path = write("adsi.conf", "binddn cn=x\nbindpw_file secret\n");
  setenv("QUARLIX_ADSI_CONFIG", path.c_str(), 1);
  AdsiConfig config;
  std::string error;
  ASSERT_TRUE(loadAdsiConfig(config, error)) << error;
  EXPECT_EQ(config.bindPassword, "s3cret");

  std::string missing = write("other.conf", "binddn cn=x\nbindpw_file nothing-here\n");
  setenv("QUARLIX_ADSI_CONFIG", missing.c_str(), 1);
  EXPECT_FALSE(loadAdsiConfig(config, error));
  EXPECT_EQ(error.rfind(missing + ":2: cannot read the password file " + folder_ + "/nothing-here", 0), 0u) << error;
}

TEST_F(AdsiConfigTest, MistakesNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"timeout 0\n", "t.conf:1: 'timeout' must be a whole number of seconds from 1 to 86400, not '0'"},
      {"\n\nnetwork_timeout 1.5\n",
       "t.conf:3: 'network_timeout' must be a whole number of seconds from 1 to 86400, not '1.5'"},
      {"timeout 100000\n", "t.conf:1: 'timeout' must be a whole number of seconds from 1 to 86400, not '100000'"},
      {"idle_timeout -1\n", "t.conf:1: 'idle_timeout' must be a whole number of seconds from 0 to 86400, not '-1'"},
      {"starttls always\n", "t.conf:1: 'starttls' is never, try or demand, not 'always'"},
      {"bindpass x\n", "t.conf:1: unknown key 'bindpass'"},
      {"binddn\n", "t.conf:1: 'binddn' needs a value"},
      {"binddn cn=x\n", "t.conf: 'binddn' and a password ('bindpw' or 'bindpw_file') go together"},
      {"bindpw x\n", "t.conf: 'binddn' and a password ('bindpw' or 'bindpw_file') go together"},
      {"tls_reqcert sometimes\n", "t.conf:1: 'tls_reqcert' is never, allow, try, demand or hard, not 'sometimes'"},
      {"ldaps_ports 1636 ldaps\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535, not 'ldaps'"},
      {"ldaps_ports 70000\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535, not '70000'"},
      {"ldaps_ports 0\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535, not '0'"},
  };
  for (const Case& c : cases) {
    AdsiConfig config;
    std::string error;
    EXPECT_FALSE(parseAdsiConfig(c.text, "t.conf", config, error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(AdsiConfigTest, ANamedFileMustExist) {
  setenv("QUARLIX_ADSI_CONFIG", (folder_ + "/absent.conf").c_str(), 1);
  AdsiConfig config;
  std::string error;
  EXPECT_FALSE(loadAdsiConfig(config, error));
  EXPECT_NE(error.find("absent.conf: cannot read the configuration (QUARLIX_ADSI_CONFIG)"), std::string::npos) << error;
}

TEST(LdapIdentity, ExplicitChoicesFirstThenWhatThePlatformOffers) {
  AdsiConfig none;
  AdsiConfig simple;
  simple.bindDn = "cn=reader";
  simple.hasPassword = true;
  AdsiConfig mechanism = simple;
  mechanism.saslMechanism = "DIGEST-MD5";

  auto kind = [](const BindIdentity& id) { return id.kind; };
  EXPECT_EQ(kind(chooseIdentity("ldap://h", none, false)), BindKind::Anonymous);
  EXPECT_EQ(chooseIdentity("ldap://h", none, true).mechanism, "GSSAPI");
  EXPECT_EQ(chooseIdentity("ldapi://%2Fs", none, true).mechanism, "EXTERNAL");
  EXPECT_EQ(kind(chooseIdentity("ldapi://%2Fs", simple, true)), BindKind::Simple);
  EXPECT_EQ(kind(chooseIdentity("ldap://h", simple, true)), BindKind::Simple);
  BindIdentity explicitSasl = chooseIdentity("ldapi://%2Fs", mechanism, true);
  EXPECT_EQ(kind(explicitSasl), BindKind::Sasl);
  EXPECT_EQ(explicitSasl.mechanism, "DIGEST-MD5");
}

using KerberosCache = TempFiles;

TEST_F(KerberosCache, NamedByKrb5ccname) {
  const char* before = std::getenv("KRB5CCNAME");
  std::string saved = before ? before : "";
  std::string cache = write("krb5cc", "");
  setenv("KRB5CCNAME", ("FILE:" + cache).c_str(), 1);
  EXPECT_TRUE(kerberosTicketCachePresent());
  setenv("KRB5CCNAME", cache.c_str(), 1);
  EXPECT_TRUE(kerberosTicketCachePresent());
  setenv("KRB5CCNAME", ("FILE:" + folder_ + "/none").c_str(), 1);
  EXPECT_FALSE(kerberosTicketCachePresent());
  setenv("KRB5CCNAME", "KEYRING:persistent:0", 1);
  EXPECT_TRUE(kerberosTicketCachePresent());
  if (before)
    setenv("KRB5CCNAME", saved.c_str(), 1);
  else
    unsetenv("KRB5CCNAME");
}

TEST(LdapTarget, PortsProvidersAndTls) {
  struct Case {
    const char* path;
    const char* uri;
    bool secure;
  } cases[] = {
      {"LDAP://dc1.example.com/DC=example,DC=com", "ldap://dc1.example.com:389", false},
      {"LDAP://dc1.example.com:1389/DC=example,DC=com", "ldap://dc1.example.com:1389", false},
      {"GC://dc1.example.com/DC=example,DC=com", "ldap://dc1.example.com:3268", false},
      {"LDAP://dc1.example.com:636/DC=example,DC=com", "ldaps://dc1.example.com:636", true},
      {"GC://dc1.example.com:3269", "ldaps://dc1.example.com:3269", true},
      {"LDAP://[::1]:389/DC=example,DC=com", "ldap://[::1]:389", false},
      {"LDAP://[::1]", "ldap://[::1]:389", false},
      // ldaps_ports below names 1636 and 3270
      {"LDAP://dc1.example.com:1636/DC=example,DC=com", "ldaps://dc1.example.com:1636", true},
      {"GC://dc1.example.com:3270", "ldaps://dc1.example.com:3270", true},
      {"LDAP://dc1.example.com:16360", "ldap://dc1.example.com:16360", false},
  };
  AdsiConfig config;
  std::string error;
  ASSERT_TRUE(parseAdsiConfig("ldaps_ports 1636 3270\n", "t.conf", config, error)) << error;
  for (const Case& c : cases) {
    AdsPath path;
    ASSERT_EQ(parseAdsPath(std::u16string(c.path, c.path + std::char_traits<char>::length(c.path)), path), S_OK)
        << c.path;
    LdapTarget target;
    ASSERT_EQ(ldapTargetFor(path, config, target), S_OK) << c.path;
    EXPECT_EQ(target.uri, c.uri) << c.path;
    EXPECT_EQ(target.secure, c.secure) << c.path;
    EXPECT_EQ(target.host, path.host) << c.path;
  }
}

}  // namespace
