// Binding paths to objects: each path form, the HRESULT of each bad path, the
// interfaces an object answers, and the IADs getters.
#include <arpa/inet.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "adsi_test_support.h"

namespace {

using BindingTest = SampleTest;

std::string getter(IADs* object, HRESULT (IADs::*get)(BSTR*)) {
  Bstr value;
  EXPECT_EQ((object->*get)(value.put()), S_OK);
  return value.utf8();
}

TEST_F(BindingTest, ServerlessPathBindsTheDefaultDirectory) {
  Ref<IADs> alice;
  ASSERT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IADs, alice), S_OK);
  EXPECT_EQ(getter(alice.get(), &IADs::get_Name), "CN=Alice Smith");
  EXPECT_EQ(getter(alice.get(), &IADs::get_Class), "user");
  EXPECT_EQ(getter(alice.get(), &IADs::get_ADsPath), std::string("LDAP://") + kAlice);
  EXPECT_EQ(getter(alice.get(), &IADs::get_Parent), "LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com");
  EXPECT_EQ(getter(alice.get(), &IADs::get_Schema), "LDAP://schema/user");
  std::string guid = getter(alice.get(), &IADs::get_GUID);
  EXPECT_EQ(guid.size(), 32u);
  EXPECT_EQ(guid.find_first_not_of("0123456789abcdef"), std::string::npos) << guid;
}

TEST_F(BindingTest, GuidIsTheObjectGuidBytesInOrder) {
  Ref<IADs> alice;
  ASSERT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IADs, alice), S_OK);
  std::string guid = getter(alice.get(), &IADs::get_GUID);
  Ref<IDirectorySearch> search;
  ASSERT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IDirectorySearch, search), S_OK);
  ADS_SEARCHPREF_INFO base{};
  base.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
  base.vValue.dwType = ADSTYPE_INTEGER;
  base.vValue.Integer = ADS_SCOPE_BASE;
  ASSERT_EQ(search->SetSearchPreference(&base, 1), S_OK);
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), nullptr, 0xFFFFFFFF, &handle), S_OK);
  ASSERT_EQ(search->GetNextRow(handle), S_OK);
  ADS_SEARCH_COLUMN column;
  ASSERT_EQ(search->GetColumn(handle, const_cast<LPWSTR>(u"objectGUID"), &column), S_OK);
  ASSERT_EQ(column.pADsValues[0].OctetString.dwLength, 16u);
  char hex[33] = {};
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", column.pADsValues[0].OctetString.lpValue[i]);
  EXPECT_EQ(guid, hex);
  search->FreeColumn(&column);
  search->CloseSearchHandle(handle);
}

TEST_F(BindingTest, ProviderNamesMatchWithoutRegardToCase) {
  Ref<IADs> alice;
  ASSERT_EQ(bindPath(std::string("ldap://") + kAlice, IID_IADs, alice), S_OK);
  EXPECT_EQ(getter(alice.get(), &IADs::get_ADsPath), std::string("LDAP://") + kAlice);
  Ref<IADs> gc;
  ASSERT_EQ(bindPath(std::string("gc://") + kAlice, IID_IADs, gc), S_OK);
  EXPECT_EQ(getter(gc.get(), &IADs::get_ADsPath), std::string("GC://") + kAlice);
}

TEST_F(BindingTest, ServerNamesThatNameTheDirectory) {
  const std::string dn = kAlice;
  for (std::string server : {"corp.example.com", "CORP.example.com", "localhost", "LOCALHOST"}) {
    Ref<IADs> object;
    ASSERT_EQ(bindPath("LDAP://" + server + "/" + dn, IID_IADs, object), S_OK) << server;
    EXPECT_EQ(getter(object.get(), &IADs::get_ADsPath), "LDAP://" + server + "/" + dn);
    EXPECT_EQ(getter(object.get(), &IADs::get_Parent),
              "LDAP://" + server + "/OU=Sales,OU=Staff,DC=corp,DC=example,DC=com");
    EXPECT_EQ(getter(object.get(), &IADs::get_Schema), "LDAP://" + server + "/schema/user");
  }
  Ref<IADs> gc;
  ASSERT_EQ(bindPath("GC://corp.example.com/" + dn, IID_IADs, gc), S_OK);
  EXPECT_EQ(getter(gc.get(), &IADs::get_ADsPath), "GC://corp.example.com/" + dn);

  Ref<IADs> unknown;
  EXPECT_EQ(bindPath("LDAP://dc1.corp.example.com/" + dn, IID_IADs, unknown), static_cast<HRESULT>(0x8007203A));
  ASSERT_TRUE(AdsCompatAddServerName("dc1.corp.example.com"));
  EXPECT_EQ(bindPath("LDAP://DC1.corp.example.com/" + dn, IID_IADs, unknown), S_OK);
}

// A loopback port nothing listens on, for as long as the holder lives: bound
// by the test but never listened on, so a connection to it is refused at
// once and no other program can take it meanwhile. A well-known port may be
// served by any directory server on the machine (a domain controller the
// tests start, say).
class RefusingLoopbackPort {
 public:
  RefusingLoopbackPort() : socket_(socket(AF_INET, SOCK_STREAM, 0)) {
    EXPECT_GE(socket_, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size), 0);
    number_ = std::to_string(ntohs(address.sin_port));
  }
  ~RefusingLoopbackPort() {
    if (socket_ >= 0) close(socket_);
  }
  RefusingLoopbackPort(const RefusingLoopbackPort&) = delete;
  RefusingLoopbackPort& operator=(const RefusingLoopbackPort&) = delete;
  const std::string& number() const { return number_; }

 private:
  int socket_;
  std::string number_;
};

// A port, or a name the directory does not answer to, names a server on the
// network: here a port bound by the test but not listening, so the
// connection is refused at once.
TEST_F(BindingTest, APortOrAnotherNameReachesTheNetwork) {
  {
    RefusingLoopbackPort refusing;
    const std::string& port = refusing.number();
    for (std::string server : {"localhost:" + port, "127.0.0.1:" + port, "LOCALHOST:" + port}) {
      Ref<IADs> object;
      EXPECT_EQ(bindPath("LDAP://" + server + "/" + kAlice, IID_IADs, object), static_cast<HRESULT>(0x8007203A))
          << server;
      EXPECT_FALSE(object) << server;
    }
  }
  // The same names without the port stay with the mounted directory.
  Ref<IADs> object;
  EXPECT_EQ(bindPath(std::string("LDAP://localhost/") + kAlice, IID_IADs, object), S_OK);
}

TEST_F(BindingTest, AServerAloneNamesTheDirectoryRoot) {
  Ref<IADs> root;
  ASSERT_EQ(bindPath("LDAP://corp.example.com", IID_IADs, root), S_OK);
  EXPECT_EQ(getter(root.get(), &IADs::get_Name), "DC=corp");
  EXPECT_EQ(getter(root.get(), &IADs::get_Class), "domainDNS");
  EXPECT_EQ(getter(root.get(), &IADs::get_ADsPath), "LDAP://corp.example.com/DC=corp,DC=example,DC=com");
}

TEST_F(BindingTest, BadPathsFailWithTheHresultAdsiGives) {
  struct Case {
    const char* path;
    HRESULT expected;
  } cases[] = {
      {"LDAP://CN=Nobody,DC=corp,DC=example,DC=com", static_cast<HRESULT>(0x80072030)},
      {"LDAP://CN=Nobody,OU=Nowhere,DC=corp,DC=example,DC=com", static_cast<HRESULT>(0x80072030)},
      {"LDAP://other.example.org/DC=example,DC=org", static_cast<HRESULT>(0x8007203A)},
      {"LDAP://CN=a,,DC=corp", static_cast<HRESULT>(0x80072032)},
      {"LDAP://corp.example.com/garbage", static_cast<HRESULT>(0x80072032)},
      {"FOO://DC=corp,DC=example,DC=com", static_cast<HRESULT>(0x800401E4)},
      {"WinNT://corp/alice", static_cast<HRESULT>(0x800401E4)},
      {"DC=corp,DC=example,DC=com", static_cast<HRESULT>(0x800401E4)},
      {"LDAP:", E_ADS_BAD_PATHNAME},
      {"LDAP:DC=corp", E_ADS_BAD_PATHNAME},
      {"LDAP://", E_ADS_BAD_PATHNAME},
      {"LDAP:///DC=corp,DC=example,DC=com", E_ADS_BAD_PATHNAME},
      {"LDAP://bad host/DC=corp,DC=example,DC=com", E_ADS_BAD_PATHNAME},
      {"LDAP://localhost:99999/DC=corp,DC=example,DC=com", E_ADS_BAD_PATHNAME},
      {"LDAP://localhost:/DC=corp,DC=example,DC=com", E_ADS_BAD_PATHNAME},
      {"", E_ADS_BAD_PATHNAME},
  };
  for (const Case& c : cases) {
    Ref<IADs> object;
    EXPECT_EQ(bindPath(c.path, IID_IADs, object), c.expected) << c.path;
    EXPECT_FALSE(object) << c.path;
  }
}

// libldap's default server (ldap.conf's URI) for one test, then the old one.
class DefaultLdapServer {
 public:
  explicit DefaultLdapServer(const std::string& uri) {
    char* old = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &old) == LDAP_OPT_SUCCESS && old) {
      old_ = old;
      ldap_memfree(old);
    }
    EXPECT_EQ(ldap_set_option(nullptr, LDAP_OPT_URI, uri.c_str()), LDAP_OPT_SUCCESS);
  }
  ~DefaultLdapServer() { ldap_set_option(nullptr, LDAP_OPT_URI, old_.empty() ? nullptr : old_.c_str()); }
  DefaultLdapServer(const DefaultLdapServer&) = delete;
  DefaultLdapServer& operator=(const DefaultLdapServer&) = delete;

 private:
  std::string old_;
};

TEST_F(BindingTest, NoMountedDirectoryMeansNoServer) {
  AdsCompatUnmount();
  // A serverless path then goes to the platform's default server, here one
  // that refuses.
  RefusingLoopbackPort refusing;
  DefaultLdapServer closed("ldap://127.0.0.1:" + refusing.number());
  Ref<IADs> object;
  EXPECT_EQ(bindPath(std::string("LDAP://") + kRoot, IID_IADs, object), static_cast<HRESULT>(0x8007203A));
  EXPECT_FALSE(object);
  EXPECT_EQ(bindPath(std::string("GC://") + kRoot, IID_IADs, object), static_cast<HRESULT>(0x8007203A));
  EXPECT_FALSE(object);
}

// The caller a host sets is its thread's alone, until it clears it: the
// failure line of a bind on that thread names the caller, the same bind on
// another thread at the same time does not, and a path that asks for TLS
// fails before any connection (a caller's bind is never made inside TLS).
TEST_F(BindingTest, TheCallerBindsForItsOwnThreadOnly) {
  RefusingLoopbackPort refusing;
  const std::string path = "LDAP://127.0.0.1:" + refusing.number() + "/DC=qx,DC=test";
  // The last line each thread was told.
  struct LastLines {
    std::mutex mutex;
    std::map<std::thread::id, std::string> byThread;
  } last;
  AdsCompatSetLineSink(
      [](const char* line, void* context) {
        auto* lines = static_cast<LastLines*>(context);
        std::lock_guard<std::mutex> lock(lines->mutex);
        lines->byThread[std::this_thread::get_id()] = line;
      },
      &last);
  auto failureLine = [&](const std::string& bound) {
    {
      std::lock_guard<std::mutex> lock(last.mutex);
      last.byThread.erase(std::this_thread::get_id());
    }
    Ref<IADs> object;
    HRESULT hr = bindPath(bound, IID_IADs, object);
    std::lock_guard<std::mutex> lock(last.mutex);
    return std::to_string(hr) + " " + last.byThread[std::this_thread::get_id()];
  };
  const std::string refused = std::to_string(static_cast<HRESULT>(0x8007203A)) + " ";
  const char* const asDave =
      "as the caller dave@QX.TEST (Kerberos, the login's delegated credential, signed and "
      "sealed) [identity rule 0: the host runs the call as its caller]";
  int someCredential = 0;
  AdsCompatBindAsCaller(&someCredential, "dave@QX.TEST");
  std::string otherThread;
  std::thread other([&] { otherThread = failureLine(path); });
  const std::string asCaller = failureLine(path);
  other.join();
  const std::string overTls = failureLine("LDAP://127.0.0.1:636/DC=qx,DC=test");
  AdsCompatClearCaller();
  const std::string cleared = failureLine(path);
  AdsCompatSetLineSink(nullptr, nullptr);

  EXPECT_EQ(asCaller.rfind(refused, 0), 0u) << asCaller;
  EXPECT_NE(asCaller.find(std::string("tried ") + asDave), std::string::npos) << asCaller;
  EXPECT_EQ(
      overTls,
      std::to_string(static_cast<HRESULT>(0x8007203B)) +
          " quarlix ADSI: cannot bind to ldaps://127.0.0.1:636: the path asks for TLS (ldaps://127.0.0.1:636), and a "
          "bind as the caller cannot be made inside TLS (Kerberos, signed and sealed by GSSAPI, on "
          "ldap:// without TLS); the call fails (use an LDAP:// path on port 389 or 3268, and no "
          "tls_cacert, tls_reqcert or starttls demand) " +
          std::string(asDave).substr(std::string(asDave).find('[')));
  for (const std::string& line : {otherThread, cleared}) {
    EXPECT_NE(line.find("[identity rule "), std::string::npos) << line;
    EXPECT_EQ(line.find("caller"), std::string::npos) << line;
  }
}

TEST_F(BindingTest, ObjectsKeepTheirDirectoryAfterUnmount) {
  Ref<IADs> alice;
  ASSERT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IADs, alice), S_OK);
  AdsCompatUnmount();
  EXPECT_EQ(alice->GetInfo(), S_OK);
  EXPECT_EQ(getter(alice.get(), &IADs::get_Name), "CN=Alice Smith");
}

TEST_F(BindingTest, EveryObjectAnswersTheLdapProviderInterfacesAndGroupsAlsoIADsGroup) {
  Ref<IADs> user;
  ASSERT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IADs, user), S_OK);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IADs, &IID_IADsContainer, &IID_IDirectorySearch,
                         &IID_IADsPropertyList, &IID_IADsObjectOptions}) {
    Ref<IUnknown> answer;
    EXPECT_EQ(user->QueryInterface(*iid, answer.putVoid()), S_OK);
    EXPECT_TRUE(answer);
  }
  for (const IID* iid : {&IID_IADsGroup, &IID_IADsMembers, &IID_IEnumVARIANT, &IID_IADsPropertyEntry}) {
    Ref<IUnknown> answer;
    EXPECT_EQ(user->QueryInterface(*iid, answer.putVoid()), E_NOINTERFACE);
    EXPECT_FALSE(answer);
  }
  Ref<IADsGroup> notAGroup;
  EXPECT_EQ(bindPath(std::string("LDAP://") + kAlice, IID_IADsGroup, notAGroup), E_NOINTERFACE);
  EXPECT_FALSE(notAGroup);

  Ref<IADsGroup> group;
  ASSERT_EQ(bindPath("LDAP://CN=Managers,OU=Groups,DC=corp,DC=example,DC=com", IID_IADsGroup, group), S_OK);
  Ref<IADs> asIADs;
  ASSERT_EQ(group->QueryInterface(IID_IADs, asIADs.putVoid()), S_OK);
  EXPECT_EQ(getter(asIADs.get(), &IADs::get_Class), "group");

  Ref<IDispatch> dispatch;
  ASSERT_EQ(user->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), E_NOTIMPL);
}

TEST_F(BindingTest, NonAsciiNamesTravelAsUtf16) {
  Ref<IADs> juergen;
  const std::string dn = "CN=Jürgen Müller,OU=Engineering,OU=Staff,DC=corp,DC=example,DC=com";
  ASSERT_EQ(bindPath("LDAP://" + dn, IID_IADs, juergen), S_OK);
  EXPECT_EQ(getter(juergen.get(), &IADs::get_Name), "CN=Jürgen Müller");
  // Names compare without regard to case and spacing, as LDAP's do.
  Ref<IADs> again;
  ASSERT_EQ(bindPath("LDAP://cn=JÜRGEN MÜLLER , ou=engineering,OU=Staff,DC=corp,DC=example,DC=com", IID_IADs, again),
            S_OK);
}

TEST(AdsiHelpers, AllocAndFreeAdsMemArePairedAndStringsCopy) {
  LONG before = AdsCompatLiveAdsMem();
  void* block = AllocADsMem(64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(block)[63], 0);  // zeroed
  LPWSTR copy = AllocADsStr(u"abc");
  EXPECT_EQ(narrow(copy), "abc");
  EXPECT_EQ(AdsCompatLiveAdsMem(), before + 2);
  EXPECT_TRUE(FreeADsMem(block));
  EXPECT_TRUE(FreeADsStr(copy));
  EXPECT_FALSE(FreeADsMem(nullptr));
  EXPECT_EQ(AdsCompatLiveAdsMem(), before);
}

TEST(AdsiHelpers, BuildVarArrayStrMakesAnArrayOfStrings) {
  LONG arrays = Win32CompatLiveArrays();
  {
    Var filter;
    LPWSTR names[] = {const_cast<LPWSTR>(u"user"), const_cast<LPWSTR>(u"group")};
    ASSERT_EQ(ADsBuildVarArrayStr(names, 2, &filter.v), S_OK);
    ASSERT_EQ(filter.v.vt, VT_ARRAY | VT_VARIANT);
    LONG lower = -1, upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(filter.v.parray, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(filter.v.parray, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 1);
    VARIANT* elements = nullptr;
    ASSERT_EQ(SafeArrayAccessData(filter.v.parray, reinterpret_cast<void**>(&elements)), S_OK);
    EXPECT_EQ(elements[1].vt, VT_BSTR);
    EXPECT_EQ(narrow(elements[1].bstrVal), "group");
    SafeArrayUnaccessData(filter.v.parray);
  }
  EXPECT_EQ(Win32CompatLiveArrays(), arrays);
}

}  // namespace
