// IDirectorySearch over the sample directory: columns named and all, their
// order and types, ADsPath, paging, preferences and bad filters.
#include <cstring>

#include "adsi_test_support.h"

namespace {

class SearchTest : public SampleTest {
 protected:
  void open(const std::string& path) { ASSERT_EQ(bindPath(path, IID_IDirectorySearch, search_), S_OK) << path; }
  HRESULT execute(const std::string& filter, std::vector<std::string> names = {}, bool all = false) {
    std::vector<std::u16string> wideNames;
    for (const std::string& n : names) wideNames.push_back(wide(n));
    std::vector<LPWSTR> pointers;
    for (std::u16string& n : wideNames) pointers.push_back(n.data());
    std::u16string wideFilter = wide(filter);
    return search_->ExecuteSearch(wideFilter.data(), all ? nullptr : pointers.data(),
                                  all ? 0xFFFFFFFF : static_cast<DWORD>(pointers.size()), &handle_);
  }
  std::vector<std::string> columnNames() {
    std::vector<std::string> names;
    LPWSTR name = nullptr;
    HRESULT hr;
    while ((hr = search_->GetNextColumnName(handle_, &name)) == S_OK) {
      names.push_back(narrow(name));
      EXPECT_TRUE(FreeADsMem(name));
    }
    EXPECT_EQ(hr, S_ADS_NOMORE_COLUMNS);
    EXPECT_EQ(name, nullptr);
    return names;
  }
  HRESULT column(const std::string& name, ADS_SEARCH_COLUMN& out) {
    std::u16string w = wide(name);
    return search_->GetColumn(handle_, w.data(), &out);
  }
  std::string text(const std::string& name) {
    ADS_SEARCH_COLUMN c;
    if (column(name, c) != S_OK) return "<none>";
    std::string value = narrow(c.pADsValues[0].CaseIgnoreString);
    search_->FreeColumn(&c);
    return value;
  }
  void setPreference(ADS_SEARCHPREF pref, DWORD value) {
    ADS_SEARCHPREF_INFO info{};
    info.dwSearchPref = pref;
    info.vValue.dwType = ADSTYPE_INTEGER;
    info.vValue.Integer = value;
    ASSERT_EQ(search_->SetSearchPreference(&info, 1), S_OK);
  }
  void TearDown() override {
    if (handle_) {
      EXPECT_EQ(search_->CloseSearchHandle(handle_), S_OK);
    }
    search_.reset();
    SampleTest::TearDown();
  }

  Ref<IDirectorySearch> search_;
  ADS_SEARCH_HANDLE handle_ = nullptr;
};

TEST_F(SearchTest, NamedColumnsComeInRequestOrderAndMissingOnesAreNotSet) {
  open("LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com");
  ASSERT_EQ(execute("(sAMAccountName=asmith)", {"mail", "CN", "noSuchAttribute", "ADsPath"}), S_OK);
  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);
  EXPECT_EQ(columnNames(), (std::vector<std::string>{"mail", "CN", "ADsPath"}));
  EXPECT_EQ(text("cn"), "Alice Smith");  // names match without regard to case
  EXPECT_EQ(text("ADsPath"), std::string("LDAP://") + kAlice);

  ADS_SEARCH_COLUMN untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  ADS_SEARCH_COLUMN before = untouched;
  EXPECT_EQ(column("noSuchAttribute", untouched), E_ADS_COLUMN_NOT_SET);
  EXPECT_EQ(column("sn", untouched), E_ADS_COLUMN_NOT_SET);  // not asked for
  EXPECT_EQ(std::memcmp(&untouched, &before, sizeof before), 0);
  EXPECT_EQ(search_->GetNextRow(handle_), S_ADS_NOMORE_ROWS);
  EXPECT_EQ(search_->GetNextRow(handle_), S_ADS_NOMORE_ROWS);
}

TEST_F(SearchTest, AllAttributesComeInEntryOrderWithAdsPathLast) {
  open(std::string("LDAP://") + kAlice);
  ASSERT_EQ(execute("(objectClass=*)", {}, true), S_OK);
  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);
  std::vector<std::string> names = columnNames();
  ASSERT_GE(names.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
            (std::vector<std::string>{"objectClass", "cn", "sn", "title", "description"}));
  EXPECT_EQ(names.back(), "ADsPath");
  EXPECT_EQ(std::count(names.begin(), names.end(), "objectClass"), 1);
  ADS_SEARCH_COLUMN path;
  ASSERT_EQ(column("ADsPath", path), S_OK);
  EXPECT_EQ(path.dwADsType, ADSTYPE_CASE_IGNORE_STRING);
  EXPECT_EQ(path.dwNumValues, 1u);
  EXPECT_EQ(path.pADsValues[0].dwType, ADSTYPE_CASE_IGNORE_STRING);
  EXPECT_EQ(narrow(path.pADsValues[0].CaseIgnoreString), std::string("LDAP://") + kAlice);
  EXPECT_EQ(narrow(path.pszAttrName), "ADsPath");
  EXPECT_EQ(search_->FreeColumn(&path), S_OK);
  EXPECT_EQ(path.pADsValues, nullptr);
}

TEST_F(SearchTest, ColumnsCarryTheTypeOfEachAttribute) {
  open(std::string("LDAP://") + kRoot);
  ASSERT_EQ(execute("(|(distinguishedName=" + std::string(kRoot) + ")(sAMAccountName=asmith))", {}, true), S_OK);
  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);  // the root comes first, in file order
  struct Expect {
    const char* name;
    ADSTYPE type;
  } rootColumns[] = {
      {"distinguishedName", ADSTYPE_DN_STRING},    {"name", ADSTYPE_CASE_IGNORE_STRING},
      {"instanceType", ADSTYPE_INTEGER},           {"isCriticalSystemObject", ADSTYPE_BOOLEAN},
      {"objectGUID", ADSTYPE_OCTET_STRING},        {"whenCreated", ADSTYPE_UTC_TIME},
      {"maxPwdAge", ADSTYPE_LARGE_INTEGER},        {"nTSecurityDescriptor", ADSTYPE_NT_SECURITY_DESCRIPTOR},
      {"wellKnownObjects", ADSTYPE_DN_WITH_BINARY}};
  for (const Expect& e : rootColumns) {
    ADS_SEARCH_COLUMN c;
    ASSERT_EQ(column(e.name, c), S_OK) << e.name;
    EXPECT_EQ(c.dwADsType, e.type) << e.name;
    for (DWORD i = 0; i < c.dwNumValues; ++i) EXPECT_EQ(c.pADsValues[i].dwType, e.type) << e.name;
    search_->FreeColumn(&c);
  }
  ADS_SEARCH_COLUMN c;
  ASSERT_EQ(column("instanceType", c), S_OK);
  EXPECT_EQ(c.pADsValues[0].Integer, 5u);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("isCriticalSystemObject", c), S_OK);
  EXPECT_EQ(c.pADsValues[0].Boolean, 1u);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("whenCreated", c), S_OK);  // 20080115093000.0Z
  const SYSTEMTIME& t = c.pADsValues[0].UTCTime;
  EXPECT_EQ(t.wYear, 2008);
  EXPECT_EQ(t.wMonth, 1);
  EXPECT_EQ(t.wDay, 15);
  EXPECT_EQ(t.wDayOfWeek, 2);  // a Tuesday
  EXPECT_EQ(t.wHour, 9);
  EXPECT_EQ(t.wMinute, 30);
  EXPECT_EQ(t.wSecond, 0);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("maxPwdAge", c), S_OK);
  EXPECT_EQ(c.pADsValues[0].LargeInteger.QuadPart, -36288000000000LL);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("forceLogoff", c), S_OK);
  EXPECT_EQ(c.pADsValues[0].LargeInteger.QuadPart, INT64_MIN);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("nTSecurityDescriptor", c), S_OK);
  ASSERT_GE(c.pADsValues[0].SecurityDescriptor.dwLength, 20u);
  EXPECT_EQ(c.pADsValues[0].SecurityDescriptor.lpValue[0], 1);  // revision
  search_->FreeColumn(&c);
  ASSERT_EQ(column("wellKnownObjects", c), S_OK);
  ASSERT_EQ(c.dwNumValues, 2u);
  const ADS_DN_WITH_BINARY* users = c.pADsValues[0].pDNWithBinary;
  ASSERT_EQ(users->dwLength, 16u);
  EXPECT_EQ(users->lpBinaryValue[0], 0xA9);
  EXPECT_EQ(users->lpBinaryValue[15], 0xCD);
  EXPECT_EQ(narrow(users->pszDNString), "CN=Users,DC=corp,DC=example,DC=com");
  search_->FreeColumn(&c);

  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);  // Alice
  ASSERT_EQ(column("proxyAddresses", c), S_OK);
  ASSERT_EQ(c.dwNumValues, 2u);  // multi-valued, in value order
  EXPECT_EQ(narrow(c.pADsValues[0].CaseIgnoreString), "SMTP:alice.smith@corp.example.com");
  EXPECT_EQ(narrow(c.pADsValues[1].CaseIgnoreString), "smtp:asmith@corp.example.com");
  search_->FreeColumn(&c);
  ASSERT_EQ(column("manager", c), S_OK);
  EXPECT_EQ(c.dwADsType, ADSTYPE_DN_STRING);
  EXPECT_EQ(narrow(c.pADsValues[0].DNString), "CN=Olivia Reed,OU=Staff,DC=corp,DC=example,DC=com");
  search_->FreeColumn(&c);
  ASSERT_EQ(column("corpBadgeNumber", c), S_OK);  // declared by the file's subschema entry
  EXPECT_EQ(c.dwADsType, ADSTYPE_INTEGER);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("thumbnailPhoto", c), S_OK);
  ASSERT_EQ(c.dwADsType, ADSTYPE_OCTET_STRING);
  EXPECT_EQ(std::memcmp(c.pADsValues[0].OctetString.lpValue, "\x89PNG", 4), 0);
  search_->FreeColumn(&c);
  ASSERT_EQ(column("accountExpires", c), S_OK);
  EXPECT_EQ(c.pADsValues[0].LargeInteger.QuadPart, INT64_MAX);
  search_->FreeColumn(&c);
}

TEST_F(SearchTest, ResultsArriveInPagesFetchedOnlyWhenTheLastIsUsedUp) {
  open(std::string("LDAP://") + kRoot);
  setPreference(ADS_SEARCHPREF_PAGESIZE, 100);
  ASSERT_EQ(execute("(&(objectCategory=person)(objectClass=user))", {"cn"}), S_OK);
  LONG pages = AdsCompatPagesFetched();
  int rows = 0;
  std::string first;
  while (search_->GetNextRow(handle_) == S_OK) {
    ++rows;
    if (rows == 1) first = text("cn");
    // Page n is fetched at row 100 * (n - 1) + 1, not before.
    EXPECT_EQ(AdsCompatPagesFetched() - pages, (rows - 1) / 100 + 1) << "row " << rows;
  }
  EXPECT_EQ(rows, 301);
  EXPECT_EQ(first, "Olivia Reed");                // file order
  EXPECT_EQ(AdsCompatPagesFetched() - pages, 5);  // four pages and the empty end
}

TEST_F(SearchTest, ScopeAndSizeLimitPreferences) {
  open("LDAP://OU=Staff,DC=corp,DC=example,DC=com");
  setPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_ONELEVEL);
  ASSERT_EQ(execute("(objectClass=*)", {"name"}), S_OK);
  std::vector<std::string> names;
  while (search_->GetNextRow(handle_) == S_OK) names.push_back(text("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"Sales", "Engineering", "Finance", "Marketing", "Human Resources",
                                             "Support", "Legal", "Olivia Reed"}));
  ASSERT_EQ(search_->CloseSearchHandle(handle_), S_OK);
  handle_ = nullptr;

  setPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_BASE);
  ASSERT_EQ(execute("(objectClass=*)", {"ou"}), S_OK);
  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);
  EXPECT_EQ(text("ou"), "Staff");
  EXPECT_EQ(search_->GetNextRow(handle_), S_ADS_NOMORE_ROWS);
  ASSERT_EQ(search_->CloseSearchHandle(handle_), S_OK);
  handle_ = nullptr;

  setPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE);
  setPreference(ADS_SEARCHPREF_SIZE_LIMIT, 5);
  ASSERT_EQ(execute("(objectClass=user)", {"cn"}), S_OK);
  int rows = 0;
  while (search_->GetNextRow(handle_) == S_OK) ++rows;
  EXPECT_EQ(rows, 5);
}

TEST_F(SearchTest, UnknownPreferencesAreReportedInTheirStatus) {
  open(std::string("LDAP://") + kRoot);
  ADS_SEARCHPREF_INFO prefs[3] = {};
  prefs[0].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  prefs[0].vValue.dwType = ADSTYPE_INTEGER;
  prefs[0].vValue.Integer = 50;
  prefs[1].dwSearchPref = ADS_SEARCHPREF_VLV;
  prefs[2].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  prefs[2].vValue.dwType = ADSTYPE_CASE_IGNORE_STRING;
  EXPECT_EQ(search_->SetSearchPreference(prefs, 3), S_ADS_ERRORSOCCURRED);
  EXPECT_EQ(prefs[0].dwStatus, ADS_STATUS_S_OK);
  EXPECT_EQ(prefs[1].dwStatus, ADS_STATUS_INVALID_SEARCHPREF);
  EXPECT_EQ(prefs[2].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
}

TEST_F(SearchTest, MalformedFiltersFailExecuteSearch) {
  open(std::string("LDAP://") + kRoot);
  for (const char* filter : {"(cn=a", "(&(cn=a)", "cn=a)", "(cn=\\zz)", "(cn=a(b)", "()", "(=x)", "(cn~a)",
                             "(cn=a)(sn=b)", "(!(cn=a)(sn=b))", "(:=x)", "(cn>=a*)"}) {
    ADS_SEARCH_HANDLE handle = nullptr;
    std::u16string w = wide(filter);
    EXPECT_EQ(search_->ExecuteSearch(w.data(), nullptr, 0xFFFFFFFF, &handle), E_ADS_INVALID_FILTER) << filter;
    EXPECT_EQ(handle, nullptr);
  }
}

TEST_F(SearchTest, HandlesAndColumnsAreCheckedAndFreed) {
  open(std::string("LDAP://") + kRoot);
  int notAHandle = 0;
  EXPECT_EQ(search_->GetNextRow(&notAHandle), E_ADS_BAD_PARAMETER);
  EXPECT_EQ(search_->CloseSearchHandle(&notAHandle), E_ADS_BAD_PARAMETER);
  ASSERT_EQ(execute("(cn=Alice Smith)", {"cn"}), S_OK);
  ADS_SEARCH_COLUMN c;
  EXPECT_EQ(column("cn", c), E_ADS_BAD_PARAMETER);  // no current row yet
  ASSERT_EQ(search_->GetNextRow(handle_), S_OK);
  ASSERT_EQ(column("cn", c), S_OK);
  EXPECT_EQ(narrow(c.pszAttrName), "cn");
  EXPECT_EQ(search_->FreeColumn(&c), S_OK);
  // A search left open is closed with its object.
  ADS_SEARCH_HANDLE second = nullptr;
  ASSERT_EQ(search_->ExecuteSearch(const_cast<LPWSTR>(u"(cn=*)"), nullptr, 0xFFFFFFFF, &second), S_OK);
  ASSERT_EQ(search_->GetNextRow(second), S_OK);
}

TEST_F(SearchTest, GlobalCatalogPathsSearchTheSameData) {
  std::vector<std::string> paths =
      searchValues("GC://corp.example.com/OU=Legal,OU=Staff,DC=corp,DC=example,DC=com", "(sn=Wilson)", "ADsPath");
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths[0], "GC://corp.example.com/CN=Grace Wilson,OU=Legal,OU=Staff,DC=corp,DC=example,DC=com");
}

}  // namespace
