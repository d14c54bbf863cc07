#include "directory_search.h"

#include <string_view>

#include "adserr.h"

namespace {

std::string narrow(LPCWSTR text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

bool isAdsPath(LPCWSTR name) { return std::u16string_view(name) == u"ADsPath"; }

// Reads one column; its text when it is the ADsPath string.
HRESULT readColumn(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, LPWSTR name, std::string* path) {
  ADS_SEARCH_COLUMN column{};
  const HRESULT result = search->GetColumn(handle, name, &column);
  if (result == E_ADS_COLUMN_NOT_SET) return S_OK;
  if (FAILED(result)) return result;
  if (path && column.dwADsType == ADSTYPE_CASE_IGNORE_STRING && column.dwNumValues > 0 && column.pADsValues)
    *path = narrow(column.pADsValues[0].CaseIgnoreString);
  return search->FreeColumn(&column);
}

}  // namespace

SearchOutcome runSearch(IDirectorySearch* search, LPCWSTR filter, int scope, int pageSize, bool allColumns,
                        size_t rowLimit) {
  SearchOutcome outcome;
  ADS_SEARCHPREF_INFO preferences[2]{};
  preferences[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
  preferences[0].vValue.dwType = ADSTYPE_INTEGER;
  preferences[0].vValue.Integer = static_cast<DWORD>(scope);
  preferences[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  preferences[1].vValue.dwType = ADSTYPE_INTEGER;
  preferences[1].vValue.Integer = static_cast<DWORD>(pageSize);
  outcome.result = search->SetSearchPreference(preferences, pageSize ? 2 : 1);
  if (FAILED(outcome.result)) return outcome;

  WCHAR adsPath[] = u"ADsPath";
  LPWSTR onlyPath[] = {adsPath};
  ADS_SEARCH_HANDLE handle = nullptr;
  outcome.result = search->ExecuteSearch(const_cast<LPWSTR>(filter), allColumns ? nullptr : onlyPath,
                                         allColumns ? 0xFFFFFFFF : 1, &handle);
  if (FAILED(outcome.result)) return outcome;

  while (outcome.paths.size() < rowLimit) {
    HRESULT result = search->GetNextRow(handle);
    if (result == S_ADS_NOMORE_ROWS) break;
    if (FAILED(result)) {
      outcome.result = result;
      break;
    }
    std::string path;
    if (allColumns) {
      for (;;) {
        LPWSTR name = nullptr;
        result = search->GetNextColumnName(handle, &name);
        if (result != S_OK) {
          if (name) FreeADsMem(name);
          break;
        }
        result = readColumn(search, handle, name, isAdsPath(name) ? &path : nullptr);
        FreeADsMem(name);
        ++outcome.columnsRead;
        if (FAILED(result)) break;
      }
    } else {
      result = readColumn(search, handle, adsPath, &path);
      ++outcome.columnsRead;
    }
    if (FAILED(result)) {
      outcome.result = result;
      break;
    }
    outcome.paths.push_back(path);
  }
  const HRESULT closed = search->CloseSearchHandle(handle);
  if (SUCCEEDED(outcome.result) && FAILED(closed)) outcome.result = closed;
  return outcome;
}
