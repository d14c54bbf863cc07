// The stand-in's configuration for real directories, the identity it binds
// with, and the server a path names.
#include <gtest/gtest.h>
#include <ldap.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ads_path.h"
#include "adserr.h"
#include "ldap/adsi_config.h"
#include "ldap/bind_identity.h"
#include "ldap/connection_key.h"
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

TEST_F(AdsiConfigTest, ByteOrderMarkLineEndsAndLetterCase) {
  AdsiConfig config;
  std::string error;
  ASSERT_TRUE(
      parseAdsiConfig("\xEF\xBB\xBF"
                      "BindDN cn=x\rTIMEOUT 7\r\nbindpw\tp w\n",
                      "t.conf", config, error))
      << error;
  EXPECT_EQ(config.bindDn, "cn=x");
  EXPECT_EQ(config.timeoutSeconds, 7);
  EXPECT_EQ(config.bindPassword, "p w");
  EXPECT_EQ(config.passwordSource, "bindpw in t.conf");
  EXPECT_FALSE(parseAdsiConfig("binddn cn=x\rbindpw p\rtimeout x\r", "t.conf", config, error));
  EXPECT_EQ(error.rfind("t.conf:3: ", 0), 0u) << error;
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

  EXPECT_EQ(config.passwordSource, folder_ + "/secret");

  // What the file's name was is left out: a password written there by
  // mistake would show.
  std::string missing = write("other.conf", "binddn cn=x\nbindpw_file nothing-here\n");
  setenv("QUARLIX_ADSI_CONFIG", missing.c_str(), 1);
  EXPECT_FALSE(loadAdsiConfig(config, error));
  EXPECT_EQ(error, missing + ":2: cannot read the file 'bindpw_file' names: No such file or directory");
  // An empty password would make the simple bind anonymous.
  write("empty", "\nsecond line\n");
  std::string empty = write("empty.conf", "binddn cn=x\nbindpw_file empty\n");
  setenv("QUARLIX_ADSI_CONFIG", empty.c_str(), 1);
  EXPECT_FALSE(loadAdsiConfig(config, error));
  EXPECT_EQ(error, empty + ":2: the first line of the file 'bindpw_file' names is empty");
}

TEST_F(AdsiConfigTest, MistakesNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"timeout 0\n", "t.conf:1: 'timeout' must be a whole number of seconds from 1 to 86400"},
      {"\n\nnetwork_timeout 1.5\n", "t.conf:3: 'network_timeout' must be a whole number of seconds from 1 to 86400"},
      {"timeout 100000\n", "t.conf:1: 'timeout' must be a whole number of seconds from 1 to 86400"},
      {"idle_timeout -1\n", "t.conf:1: 'idle_timeout' must be a whole number of seconds from 0 to 86400"},
      {"starttls always\n", "t.conf:1: 'starttls' is never, try or demand"},
      {"bindpass x\n",
       "t.conf:1: not a known key (the keys: binddn, bindpw, bindpw_file, sasl_mech, ticket_cache_fallback, "
       "network_timeout, timeout, idle_timeout, starttls, tls_cacert, tls_reqcert, ldaps_ports)"},
      {"binddn\n", "t.conf:1: 'binddn' needs a value"},
      {"binddn cn=x\n", "t.conf: 'binddn' and a password ('bindpw' or 'bindpw_file') go together"},
      {"bindpw x\n", "t.conf: 'binddn' and a password ('bindpw' or 'bindpw_file') go together"},
      {"tls_reqcert sometimes\n", "t.conf:1: 'tls_reqcert' is never, allow, try, demand or hard"},
      {"ldaps_ports 1636 ldaps\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535"},
      {"ldaps_ports 70000\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535"},
      {"ldaps_ports 0\n", "t.conf:1: 'ldaps_ports' lists port numbers from 1 to 65535"},
      {"ticket_cache_fallback yes\n", "t.conf:1: 'ticket_cache_fallback' is none or anonymous"},
      {"bindpw=x\n", "t.conf:1: 'bindpw' is followed by '=': write the key, a blank and the value"},
      {"binddn: cn=x\n", "t.conf:1: 'binddn' is followed by ':': write the key, a blank and the value"},
      {"bindpw = x\n", "t.conf:1: 'bindpw' is followed by '=': write the key, a blank and the value"},
      {"timeout 5\r\ntimeout 6\r\n", "t.conf:2: 'timeout' was given on line 1 already"},
      {"binddn cn=x bindpw=y\n", "t.conf:1: the value of 'binddn' holds the key 'bindpw': one key a line"},
      {"\xFF\xFE"
       "b",
       "t.conf: the file is UTF-16 text; save it as UTF-8 (or ASCII)"},
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

// The identity rules, in order, with the ticket cache the environment
// offers usable or not.
TEST(LdapIdentity, RulesInOrder) {
  AdsiConfig none;
  none.source = "a.conf";
  AdsiConfig simple = none;
  simple.bindDn = "cn=reader";
  simple.hasPassword = true;
  simple.passwordSource = "bindpw in a.conf";
  AdsiConfig digest = simple;
  digest.saslMechanism = "DIGEST-MD5";
  AdsiConfig gssapi = none;
  gssapi.saslMechanism = "gssapi";
  AdsiConfig fallback = none;
  fallback.ticketCacheFallback = TicketCacheFallback::Anonymous;
  const TicketCacheLocation noCache{"FILE:/tmp/krb5cc_0", false, false};
  const TicketCacheLocation named{"FILE:/k/cc", true, true};
  const TicketCacheLocation defaultCache{"FILE:/tmp/krb5cc_0", false, true};
  AdsiConfig tlsCa = simple;
  tlsCa.tlsCaCert = "/etc/ca.pem";
  AdsiConfig tlsDemand = none;
  tlsDemand.startTls = StartTlsMode::Demand;
  TicketCacheCheck usable = [] { return std::string(); };
  TicketCacheCheck missing = [] { return std::string("No Kerberos credentials available"); };
  const CallerLogin dave{reinterpret_cast<void*>(0x1234), "dave@QX.TEST"};
  const char* const asDave =
      "as the caller dave@QX.TEST (Kerberos, the login's delegated credential, signed and sealed) [identity rule 0: "
      "the host runs the call as its caller]";
  const char* const noTlsForCaller =
      ", and a bind as the caller cannot be made inside TLS (Kerberos, signed and sealed by GSSAPI, on ldap:// "
      "without TLS); the call fails (use an LDAP:// path on port 389 or 3268, and no tls_cacert, tls_reqcert or "
      "starttls demand) [identity rule 0: the host runs the call as its caller]";
  struct Case {
    const char* uri;
    const AdsiConfig* config;
    const CallerLogin* caller;
    TicketCacheLocation cache;
    TicketCacheCheck check;
    const char* text;     // the identity's text; "" when the call fails
    std::string message;  // the problem, or the notice of a fall back
  } cases[] = {
      {"ldap://h", &none, nullptr, noCache, missing,
       "anonymously [identity rule 6: no identity configured, no ticket cache]", ""},
      {"ldap://h", &digest, nullptr, named, missing, "with SASL DIGEST-MD5 [identity rule 1: sasl_mech in a.conf]", ""},
      {"ldap://h", &simple, nullptr, named, missing,
       "as cn=reader (simple bind, password from bindpw in a.conf) [identity rule 2: binddn in a.conf]", ""},
      {"ldapi://%2Fs", &simple, nullptr, named, usable,
       "as cn=reader (simple bind, password from bindpw in a.conf) [identity rule 2: binddn in a.conf]", ""},
      {"ldapi://%2Fs", &none, nullptr, named, usable, "with SASL EXTERNAL [identity rule 3: an ldapi:// server]", ""},
      {"ldap://h", &none, nullptr, named, usable,
       "with Kerberos (SASL GSSAPI, ticket cache FILE:/k/cc) [identity rule 4: KRB5CCNAME names the ticket cache]", ""},
      {"ldap://h", &none, nullptr, defaultCache, usable,
       "with Kerberos (SASL GSSAPI, ticket cache FILE:/tmp/krb5cc_0) [identity rule 5: the default ticket cache "
       "exists]",
       ""},
      {"ldap://h", &gssapi, nullptr, noCache, usable,
       "with Kerberos (SASL GSSAPI, ticket cache FILE:/tmp/krb5cc_0) [identity rule 1: sasl_mech in a.conf]", ""},
      // Not usable: the call fails, naming the cache and why.
      {"ldap://h", &none, nullptr, named, missing, "",
       "KRB5CCNAME names the ticket cache FILE:/k/cc, and it cannot be used: No Kerberos credentials available; the "
       "call fails (get a ticket (kinit), unset KRB5CCNAME, or allow anonymous reads with ticket_cache_fallback "
       "anonymous) [identity rule 4: KRB5CCNAME names the ticket cache]"},
      {"ldap://h", &none, nullptr, defaultCache, missing, "",
       "the default ticket cache FILE:/tmp/krb5cc_0 exists, and it cannot be used: No Kerberos credentials "
       "available; the call fails (get a ticket (kinit), remove the cache (kdestroy), or allow anonymous reads "
       "with ticket_cache_fallback anonymous) [identity rule 5: the default ticket cache exists]"},
      {"ldap://h", &gssapi, nullptr, noCache, missing, "",
       "sasl_mech gssapi in a.conf asks for Kerberos, and it cannot be used: No Kerberos credentials available; "
       "the call fails (get a ticket (kinit), or name a keytab in KRB5_CLIENT_KTNAME) [identity rule 1: sasl_mech in "
       "a.conf]"},
      // ... unless the configuration accepts anonymous reads instead.
      {"ldap://h", &fallback, nullptr, named, missing,
       "anonymously [identity rule 4: KRB5CCNAME names the ticket cache, which cannot be used; "
       "ticket_cache_fallback anonymous in a.conf]",
       "KRB5CCNAME names the ticket cache FILE:/k/cc, and it cannot be used: No Kerberos credentials available; "
       "binding anonymously [identity rule 4: KRB5CCNAME names the ticket cache, which cannot be used; "
       "ticket_cache_fallback anonymous in a.conf]"},
      // The caller comes first: nothing configured, no ticket cache and no
      // fall back takes their place, and their bind is never made inside TLS.
      {"ldap://h", &none, &dave, noCache, missing, asDave, ""},
      {"ldap://h", &gssapi, &dave, named, usable, asDave, ""},
      {"ldap://h", &fallback, &dave, named, missing, asDave, ""},
      {"ldapi://%2Fs", &simple, &dave, named, usable, asDave, ""},
      {"ldaps://h:636", &none, &dave, noCache, missing, "",
       std::string("the path asks for TLS (ldaps://h:636)") + noTlsForCaller},
      {"ldap://h", &tlsCa, &dave, noCache, missing, "",
       std::string("tls_cacert in a.conf sets up TLS") + noTlsForCaller},
      {"ldap://h", &tlsDemand, &dave, noCache, missing, "",
       std::string("starttls demand in a.conf asks for TLS") + noTlsForCaller},
  };
  for (const Case& c : cases) {
    BindIdentity identity;
    std::string problem, notice;
    const bool usableIdentity = chooseIdentity(c.uri, *c.config, c.caller, c.cache, c.check, identity, problem, notice);
    EXPECT_EQ(usableIdentity, *c.text != 0) << c.text << c.message;
    EXPECT_EQ(usableIdentity ? identity.text() : "", c.text);
    EXPECT_EQ(usableIdentity ? notice : problem, c.message);
  }
}

// Identities compare by what binds, so that connections can be shared by
// those that bind alike.
TEST(LdapIdentity, EqualWhenTheyBindAlike) {
  AdsiConfig config;
  config.source = "a.conf";
  config.bindDn = "cn=reader";
  config.hasPassword = true;
  config.passwordSource = "/etc/quarlix/reader.pw";
  const TicketCacheLocation cache{"FILE:/k/cc", true, true};
  BindIdentity a, b;
  std::string problem, notice;
  ASSERT_TRUE(chooseIdentity(
      "ldap://h", config, nullptr, cache, [] { return std::string(); }, a, problem, notice));
  ASSERT_TRUE(chooseIdentity(
      "ldap://other", config, nullptr, cache, [] { return std::string(); }, b, problem, notice));
  EXPECT_EQ(a, b);
  config.passwordSource = "/etc/quarlix/other.pw";
  ASSERT_TRUE(chooseIdentity(
      "ldap://h", config, nullptr, cache, [] { return std::string(); }, b, problem, notice));
  EXPECT_NE(a, b);
  EXPECT_TRUE(a < b || b < a);
}

// A caller's connection is theirs: another caller, another login of theirs
// (a new credential) and the process's own identity each get another key.
TEST(LdapIdentity, CallersNeverShareAKey) {
  AdsiConfig config;
  config.source = "a.conf";
  const TicketCacheLocation serviceCache{"FILE:/k/cc", true, true};
  const CallerLogin dave{reinterpret_cast<void*>(0x10), "dave@QX.TEST"};
  const CallerLogin daveAgain{reinterpret_cast<void*>(0x20), "dave@QX.TEST"};
  const CallerLogin erin{reinterpret_cast<void*>(0x10), "erin@QX.TEST"};
  LdapTarget target;
  target.uri = "ldap://dc.qx.test:389";
  auto keyOf = [&](const CallerLogin* caller) {
    BindIdentity identity;
    std::string problem, notice;
    EXPECT_TRUE(chooseIdentity(
        target.uri, config, caller, serviceCache, [] { return std::string(); }, identity, problem, notice));
    return connectionKeyFor(target, config, identity);
  };
  const ConnectionKey keys[] = {keyOf(&dave), keyOf(&daveAgain), keyOf(&erin), keyOf(nullptr)};
  for (size_t i = 0; i < std::size(keys); ++i)
    for (size_t j = 0; j < std::size(keys); ++j) EXPECT_EQ(keys[i] == keys[j], i == j) << i << " " << j;
  EXPECT_EQ(keyOf(&dave), keyOf(&dave));
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
