#include "adsi_test_support.h"

const char* const kRoot = "DC=corp,DC=example,DC=com";
const char* const kAlice = "CN=Alice Smith,OU=Sales,OU=Staff,DC=corp,DC=example,DC=com";

std::u16string wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(const WCHAR* text) {
  if (!text) return "";
  int length = lstrlenW(text);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

std::string Bstr::utf8() const { return narrow(p); }

std::vector<std::string> searchValues(const std::string& path, const std::string& filter, const std::string& attribute,
                                      HRESULT* executeResult) {
  std::vector<std::string> values;
  Ref<IDirectorySearch> search;
  HRESULT hr = bindPath(path, IID_IDirectorySearch, search);
  EXPECT_EQ(hr, S_OK) << path;
  if (FAILED(hr)) return values;
  std::u16string name = wide(attribute), wideFilter = wide(filter);
  LPWSTR names[] = {name.data()};
  ADS_SEARCH_HANDLE handle = nullptr;
  hr = search->ExecuteSearch(wideFilter.data(), names, 1, &handle);
  if (executeResult)
    *executeResult = hr;
  else
    EXPECT_EQ(hr, S_OK) << filter;
  if (FAILED(hr)) return values;
  while (search->GetNextRow(handle) == S_OK) {
    ADS_SEARCH_COLUMN column;
    if (search->GetColumn(handle, name.data(), &column) != S_OK) {
      values.push_back("<none>");
      continue;
    }
    values.push_back(narrow(column.pADsValues[0].CaseIgnoreString));
    search->FreeColumn(&column);
  }
  search->CloseSearchHandle(handle);
  return values;
}

void AdsiTest::SetUp() {
  AdsCompatClearFaults();
  objects_ = AdsCompatLiveObjects();
  adsMem_ = AdsCompatLiveAdsMem();
  strings_ = Win32CompatLiveStrings();
  arrays_ = Win32CompatLiveArrays();
}

void AdsiTest::TearDown() {
  AdsCompatClearFaults();
  EXPECT_EQ(AdsCompatLiveObjects(), objects_) << "COM objects, search handles or columns leaked";
  EXPECT_EQ(AdsCompatLiveAdsMem(), adsMem_) << "AllocADsMem blocks leaked";
  EXPECT_EQ(Win32CompatLiveStrings(), strings_) << "BSTRs leaked";
  EXPECT_EQ(Win32CompatLiveArrays(), arrays_) << "SAFEARRAYs leaked";
}

void AdsiTest::mount(const std::string& ldif) {
  char reason[512] = {};
  ASSERT_EQ(AdsCompatMountLdifBuffer("test.ldif", ldif.data(), ldif.size(), reason, sizeof reason), S_OK) << reason;
}

void SampleTest::SetUp() {
  char reason[512] = {};
  ASSERT_EQ(AdsCompatMountLdif(QUARLIX_SAMPLE_LDIF, reason, sizeof reason), S_OK) << reason;
  AdsiTest::SetUp();
}
