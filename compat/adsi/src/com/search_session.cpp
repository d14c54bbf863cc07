#include "com/search_session.h"

#include <list>

#include "adserr.h"
#include "adshlp.h"
#include "com/com_object.h"
#include "schema/value_convert.h"
#include "text.h"

namespace adsi {
namespace {

constexpr const char* kAdsPath = "ADsPath";

// Everything a filled column points into; hReserved holds it.
struct ColumnStorage {
  ColumnStorage() { ++detail::g_liveObjects; }
  ~ColumnStorage() { --detail::g_liveObjects; }
  WideString name;
  std::vector<ADSVALUE> values;
  // Lists: elements never move, and an unused one costs no allocation (a
  // column is filled for every cell of a search).
  std::list<WideString> strings;
  std::list<std::string> bytes;
  std::list<ADS_DN_WITH_BINARY> dnWithBinary;
  std::list<ADS_DN_WITH_STRING> dnWithString;

  LPWSTR keep(WideString s) {
    strings.push_back(std::move(s));
    return strings.back().data();
  }
  LPBYTE keepBytes(std::string b) {
    bytes.push_back(std::move(b));
    return reinterpret_cast<LPBYTE>(bytes.back().data());
  }
};

void fillValue(ColumnStorage& storage, TypedValue& v, ADSVALUE& out) {
  out = ADSVALUE();
  out.dwType = v.type;
  switch (v.type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
      out.CaseIgnoreString = storage.keep(std::move(v.text));  // one union member for all
      break;
    case ADSTYPE_BOOLEAN: out.Boolean = static_cast<DWORD>(v.number); break;
    case ADSTYPE_INTEGER: out.Integer = static_cast<DWORD>(v.number); break;
    case ADSTYPE_LARGE_INTEGER: out.LargeInteger.QuadPart = v.number; break;
    case ADSTYPE_UTC_TIME: out.UTCTime = v.time; break;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_PROV_SPECIFIC:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
      // The three share one layout: length, then data.
      out.OctetString.dwLength = static_cast<DWORD>(v.bytes.size());
      out.OctetString.lpValue = storage.keepBytes(std::move(v.bytes));
      break;
    case ADSTYPE_DN_WITH_BINARY: {
      storage.dnWithBinary.push_back({});
      ADS_DN_WITH_BINARY& d = storage.dnWithBinary.back();
      d.dwLength = static_cast<DWORD>(v.bytes.size());
      d.lpBinaryValue = storage.keepBytes(std::move(v.bytes));
      d.pszDNString = storage.keep(std::move(v.dn));
      out.pDNWithBinary = &d;
      break;
    }
    case ADSTYPE_DN_WITH_STRING: {
      storage.dnWithString.push_back({});
      ADS_DN_WITH_STRING& d = storage.dnWithString.back();
      d.pszStringValue = storage.keep(std::move(v.text));
      d.pszDNString = storage.keep(std::move(v.dn));
      out.pDNWithString = &d;
      break;
    }
    default: break;
  }
}

}  // namespace

SearchSession::SearchSession(const BindContext& context, SearchRequest request, std::unique_ptr<SearchCursor> cursor,
                             std::vector<std::string> names)
    : context_(context), request_(std::move(request)), cursor_(std::move(cursor)), names_(std::move(names)) {
  ++detail::g_liveObjects;
}

SearchSession::~SearchSession() { --detail::g_liveObjects; }

HRESULT SearchSession::nextRow() {
  row_.reset();
  nextColumn_ = 0;
  if (ended_) return S_ADS_NOMORE_ROWS;
  if (nextInPage_ == page_.size()) {
    // The current page is used up: only now ask the store for the next one.
    HRESULT hr = cursor_->nextPage(page_);
    nextInPage_ = 0;
    if (FAILED(hr)) return hr;
    if (hr != S_OK || page_.empty()) {
      ended_ = true;
      page_.clear();
      return S_ADS_NOMORE_ROWS;
    }
  }
  row_ = page_[nextInPage_++];
  return S_OK;
}

HRESULT SearchSession::restart() {
  std::unique_ptr<SearchCursor> fresh;
  HRESULT hr = context_.store->search(request_, fresh);
  if (FAILED(hr)) return hr;
  cursor_ = std::move(fresh);
  page_.clear();
  nextInPage_ = 0;
  ended_ = false;
  row_.reset();
  return S_OK;
}

void SearchSession::abandon() {
  ended_ = true;
  page_.clear();
  nextInPage_ = 0;
}

HRESULT SearchSession::nextColumnName(LPWSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  if (!row_) return S_ADS_NOMORE_COLUMNS;
  std::string next;
  if (request_.allAttributes) {
    // The entry's attributes in its own order, then ADsPath.
    if (nextColumn_ < row_->attributes.size())
      next = row_->attributes[nextColumn_].name;
    else if (nextColumn_ == row_->attributes.size())
      next = kAdsPath;
    else
      return S_ADS_NOMORE_COLUMNS;
    ++nextColumn_;
  } else {
    while (nextColumn_ < names_.size()) {
      const std::string& candidate = names_[nextColumn_++];
      if (equalsIgnoreCase(candidate, kAdsPath) || row_->find(candidate)) {
        next = candidate;
        break;
      }
    }
    if (next.empty()) return S_ADS_NOMORE_COLUMNS;
  }
  WideString wide = utf8ToUtf16(next);
  *name = AllocADsStr(wide.c_str());
  return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT SearchSession::getColumn(const std::string& name, ADS_SEARCH_COLUMN* column) {
  if (!row_) return E_ADS_BAD_PARAMETER;
  std::vector<TypedValue> values;
  ADSTYPE type;
  if (equalsIgnoreCase(name, kAdsPath)) {
    type = ADSTYPE_CASE_IGNORE_STRING;
    values.emplace_back();
    values[0].type = type;
    values[0].text = utf8ToUtf16(context_.pathOf(row_->dn));
  } else {
    const Attribute* a = row_->find(name);
    if (!a || a->values.empty()) return E_ADS_COLUMN_NOT_SET;
    type = a->type;
    values.resize(a->values.size());
    for (size_t i = 0; i < a->values.size(); ++i)
      if (!convertValue(type, a->values[i], values[i])) return E_ADS_CANT_CONVERT_DATATYPE;
  }
  auto storage = std::make_unique<ColumnStorage>();
  storage->name = utf8ToUtf16(name);
  storage->values.resize(values.size());
  for (size_t i = 0; i < values.size(); ++i) fillValue(*storage, values[i], storage->values[i]);
  column->pszAttrName = storage->name.data();
  column->dwADsType = type;
  column->pADsValues = storage->values.data();
  column->dwNumValues = static_cast<DWORD>(storage->values.size());
  column->hReserved = storage.release();
  return S_OK;
}

HRESULT freeSearchColumn(ADS_SEARCH_COLUMN* column) {
  if (!column) return E_ADS_BAD_PARAMETER;
  delete static_cast<ColumnStorage*>(column->hReserved);
  *column = ADS_SEARCH_COLUMN();
  return S_OK;
}

}  // namespace adsi
