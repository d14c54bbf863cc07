// Every value of one column of a search, as IDirectorySearch::GetColumn hands
// them out (the procedure's search road shows only the first): one line per
// row, the DN-string or case-ignore values joined with '|' after their count,
// or "(none)"; the search's failure as "failed HRESULT". Exits 0 when the
// search ran to its end. With a principal, the search runs as that caller
// of a host, who brings no credential (AdsCompatBindAsCaller).
//   ldap_columns PATH FILTER ATTRIBUTE [CALLER]
#include <cstdio>
#include <string>

#include "activeds.h"
#include "adsi_compat.h"

namespace {

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string narrow(const WCHAR* s) {
  std::string out;
  for (; s && *s; ++s) out += static_cast<char>(*s);  // the test data is ASCII
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s PATH FILTER ATTRIBUTE [CALLER]\n", argv[0]);
    return 2;
  }
  if (argc == 5) AdsCompatBindAsCaller(nullptr, argv[4]);
  std::u16string path = wide(argv[1]), filter = wide(argv[2]), attribute = wide(argv[3]);
  IDirectorySearch* search = nullptr;
  HRESULT hr = ADsGetObject(path.c_str(), IID_IDirectorySearch, reinterpret_cast<void**>(&search));
  if (FAILED(hr)) {
    std::printf("failed %08X\n", static_cast<unsigned>(hr));
    return 1;
  }
  ADS_SEARCHPREF_INFO page{};
  page.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  page.vValue.dwType = ADSTYPE_INTEGER;
  page.vValue.Integer = 100;
  search->SetSearchPreference(&page, 1);
  LPWSTR names[] = {attribute.data()};
  ADS_SEARCH_HANDLE handle = nullptr;
  hr = search->ExecuteSearch(filter.data(), names, 1, &handle);
  while (SUCCEEDED(hr) && (hr = search->GetNextRow(handle)) == S_OK) {
    ADS_SEARCH_COLUMN column;
    if (search->GetColumn(handle, attribute.data(), &column) != S_OK) {
      std::printf("(none)\n");
      continue;
    }
    std::string line = std::to_string(column.dwNumValues);
    for (DWORD i = 0; i < column.dwNumValues; ++i)
      line += (i ? "|" : " ") + narrow(column.pADsValues[i].CaseIgnoreString);
    std::printf("%s\n", line.c_str());
    search->FreeColumn(&column);
  }
  if (handle) search->CloseSearchHandle(handle);
  search->Release();
  if (FAILED(hr)) {
    std::printf("failed %08X\n", static_cast<unsigned>(hr));
    return 1;
  }
  return 0;
}
