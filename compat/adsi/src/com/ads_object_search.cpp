// IDirectorySearch of AdsObject: searches below the object, delivered a page
// at a time.
#include <algorithm>

#include "adserr.h"
#include "com/ads_object.h"
#include "com/search_session.h"
#include "faults.h"
#include "text.h"

namespace adsi {
namespace {

constexpr DWORD kAllAttributes = 0xFFFFFFFF;

// Preferences that change nothing an embedded or paged search shows.
bool isAcceptedWithoutEffect(ADS_SEARCHPREF pref) {
  switch (pref) {
    case ADS_SEARCHPREF_ASYNCHRONOUS:
    case ADS_SEARCHPREF_DEREF_ALIASES:
    case ADS_SEARCHPREF_TIME_LIMIT:
    case ADS_SEARCHPREF_TIMEOUT:
    case ADS_SEARCHPREF_PAGED_TIME_LIMIT:
    case ADS_SEARCHPREF_CHASE_REFERRALS:
    case ADS_SEARCHPREF_CACHE_RESULTS:
    case ADS_SEARCHPREF_SECURITY_MASK: return true;
    default: return false;
  }
}

}  // namespace

SearchSession* AdsObject::session(ADS_SEARCH_HANDLE handle) {
  for (auto& s : sessions_)
    if (s.get() == handle) return s.get();
  return nullptr;
}

HRESULT AdsObject::SetSearchPreference(PADS_SEARCHPREF_INFO prefs, DWORD count) {
  if (auto fault = faults::check("IDirectorySearch::SetSearchPreference")) return *fault;
  if (!prefs && count) return E_ADS_BAD_PARAMETER;
  bool errors = false;
  for (DWORD i = 0; i < count; ++i) {
    ADS_SEARCHPREF_INFO& p = prefs[i];
    p.dwStatus = ADS_STATUS_S_OK;
    bool integer = p.vValue.dwType == ADSTYPE_INTEGER;
    switch (p.dwSearchPref) {
      case ADS_SEARCHPREF_PAGESIZE:
        if (integer)
          searchPageSize_ = p.vValue.Integer;
        else
          p.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
        break;
      case ADS_SEARCHPREF_SIZE_LIMIT:
        if (integer)
          sizeLimit_ = p.vValue.Integer;
        else
          p.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
        break;
      case ADS_SEARCHPREF_SEARCH_SCOPE:
        if (integer && p.vValue.Integer <= ADS_SCOPE_SUBTREE)
          searchScope_ = static_cast<SearchScope>(p.vValue.Integer);
        else
          p.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
        break;
      default:
        if (!isAcceptedWithoutEffect(p.dwSearchPref)) p.dwStatus = ADS_STATUS_INVALID_SEARCHPREF;
        break;
    }
    errors = errors || p.dwStatus != ADS_STATUS_S_OK;
  }
  return errors ? S_ADS_ERRORSOCCURRED : S_OK;
}

HRESULT AdsObject::ExecuteSearch(LPWSTR filter, LPWSTR* names, DWORD count, PADS_SEARCH_HANDLE handle) {
  if (auto fault = faults::check("IDirectorySearch::ExecuteSearch")) return *fault;
  if (!handle) return E_ADS_BAD_PARAMETER;
  *handle = nullptr;
  SearchRequest request;
  request.baseDn = dn_;
  request.scope = searchScope_;
  request.pageSize = searchPageSize_;
  request.sizeLimit = sizeLimit_;
  request.filter = filter && *filter ? utf16ToUtf8(filter) : "(objectClass=*)";
  std::vector<std::string> columns;
  request.allAttributes = !names || count == kAllAttributes;
  if (!request.allAttributes) {
    for (DWORD i = 0; i < count; ++i) {
      if (!names[i]) return E_ADS_BAD_PARAMETER;
      std::string name = utf16ToUtf8(names[i]);
      columns.push_back(name);
      if (!equalsIgnoreCase(name, "ADsPath")) request.attributes.push_back(name);
    }
  }
  std::unique_ptr<SearchCursor> cursor;
  HRESULT hr = context_.store->search(request, cursor);
  if (FAILED(hr)) return hr;
  sessions_.push_back(
      std::make_unique<SearchSession>(context_, std::move(request), std::move(cursor), std::move(columns)));
  *handle = sessions_.back().get();
  return S_OK;
}

HRESULT AdsObject::GetNextRow(ADS_SEARCH_HANDLE handle) {
  if (auto fault = faults::check("IDirectorySearch::GetNextRow")) return *fault;
  SearchSession* s = session(handle);
  return s ? s->nextRow() : E_ADS_BAD_PARAMETER;
}

HRESULT AdsObject::GetFirstRow(ADS_SEARCH_HANDLE handle) {
  SearchSession* s = session(handle);
  if (!s) return E_ADS_BAD_PARAMETER;
  HRESULT hr = s->restart();
  return FAILED(hr) ? hr : s->nextRow();
}

HRESULT AdsObject::GetPreviousRow(ADS_SEARCH_HANDLE) { return E_NOTIMPL; }

HRESULT AdsObject::AbandonSearch(ADS_SEARCH_HANDLE handle) {
  SearchSession* s = session(handle);
  if (!s) return E_ADS_BAD_PARAMETER;
  s->abandon();
  return S_OK;
}

HRESULT AdsObject::GetNextColumnName(ADS_SEARCH_HANDLE handle, LPWSTR* name) {
  if (auto fault = faults::check("IDirectorySearch::GetNextColumnName")) return *fault;
  SearchSession* s = session(handle);
  return s ? s->nextColumnName(name) : E_ADS_BAD_PARAMETER;
}

HRESULT AdsObject::GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name, PADS_SEARCH_COLUMN column) {
  if (auto fault = faults::check("IDirectorySearch::GetColumn")) return *fault;
  SearchSession* s = session(handle);
  if (!s || !name || !column) return E_ADS_BAD_PARAMETER;
  return s->getColumn(utf16ToUtf8(name), column);
}

HRESULT AdsObject::FreeColumn(PADS_SEARCH_COLUMN column) { return freeSearchColumn(column); }

HRESULT AdsObject::CloseSearchHandle(ADS_SEARCH_HANDLE handle) {
  if (auto fault = faults::check("IDirectorySearch::CloseSearchHandle")) return *fault;
  auto it = std::find_if(sessions_.begin(), sessions_.end(), [handle](const auto& s) { return s.get() == handle; });
  if (it == sessions_.end()) return E_ADS_BAD_PARAMETER;
  sessions_.erase(it);
  return S_OK;
}

}  // namespace adsi
