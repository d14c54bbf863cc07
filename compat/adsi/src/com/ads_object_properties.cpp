// IADsPropertyList of AdsObject: the property cache that GetInfo loaded, in
// the entry's attribute order.
#include <algorithm>

#include "adserr.h"
#include "com/ads_object.h"
#include "com/large_integer.h"
#include "com/property_entry.h"
#include "com/property_value.h"
#include "faults.h"
#include "text.h"

namespace adsi {
namespace {

// What Next returns past the last property: HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS).
constexpr HRESULT kNoMoreItems = static_cast<HRESULT>(0x80070103);

// One value as IADs::Get hands it out.
HRESULT valueVariant(const TypedValue& value, VARIANT* out) {
  VariantInit(out);
  switch (value.type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
      return out->bstrVal ? S_OK : E_OUTOFMEMORY;
    case ADSTYPE_BOOLEAN:
      out->vt = VT_BOOL;
      out->boolVal = value.number ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case ADSTYPE_INTEGER:
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(value.number);
      return S_OK;
    case ADSTYPE_LARGE_INTEGER:
      out->vt = VT_DISPATCH;
      out->pdispVal = LargeInteger::create(value.number);
      return S_OK;
    case ADSTYPE_UTC_TIME: {
      SYSTEMTIME t = value.time;
      out->vt = VT_DATE;
      return SystemTimeToVariantTime(&t, &out->date) ? S_OK : E_ADS_CANT_CONVERT_DATATYPE;
    }
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:  // the descriptor's bytes, not decoded
      return makeOctetVariant(value.bytes, out);
    default: return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

}  // namespace

HRESULT AdsObject::getValues(BSTR name, bool alwaysArray, VARIANT* out) {
  if (!name || !out) return E_POINTER;
  VariantInit(out);
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  const Attribute* attribute = cached(utf16ToUtf8(name));
  if (!attribute || attribute->values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  // Owns the values until they are handed out.
  struct Values {
    std::vector<VARIANT> items;
    ~Values() {
      for (VARIANT& v : items) VariantClear(&v);
    }
  } values;
  for (const std::string& raw : attribute->values) {
    TypedValue value;
    if (!convertValue(attribute->type, raw, value)) return E_ADS_CANT_CONVERT_DATATYPE;
    values.items.emplace_back();
    hr = valueVariant(value, &values.items.back());
    if (FAILED(hr)) return hr;
  }
  if (!alwaysArray && values.items.size() == 1) {
    *out = values.items[0];
    values.items.clear();
    return S_OK;
  }
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.items.size()));
  if (!array) return E_OUTOFMEMORY;
  VARIANT* elements = nullptr;
  hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&elements));
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  std::copy(values.items.begin(), values.items.end(), elements);
  values.items.clear();
  SafeArrayUnaccessData(array);
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
  return S_OK;
}

HRESULT AdsObject::Get(BSTR name, VARIANT* value) { return getValues(name, false, value); }
HRESULT AdsObject::GetEx(BSTR name, VARIANT* value) { return getValues(name, true, value); }

HRESULT AdsObject::propertyEntryVariant(const Attribute& attribute, VARIANT* out) {
  VariantInit(out);
  out->vt = VT_DISPATCH;
  // Shares the cache's ownership: no copy of the values.
  out->pdispVal =
      static_cast<IADsPropertyEntry*>(PropertyEntry::create(std::shared_ptr<const Attribute>(cache_, &attribute)));
  return S_OK;
}

HRESULT AdsObject::get_PropertyCount(LONG* count) {
  if (!count) return E_POINTER;
  *count = 0;
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  *count = static_cast<LONG>(cache_->attributes.size());
  return S_OK;
}

HRESULT AdsObject::Next(VARIANT* entry) {
  if (auto fault = faults::check("IADsPropertyList::Next")) return *fault;
  if (!entry) return E_POINTER;
  VariantInit(entry);
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  if (cursor_ >= cache_->attributes.size()) return kNoMoreItems;
  return propertyEntryVariant(cache_->attributes[cursor_++], entry);
}

HRESULT AdsObject::Skip(LONG elements) {
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  if (elements < 0) return E_INVALIDARG;
  size_t size = cache_->attributes.size();
  bool past = cursor_ + static_cast<size_t>(elements) > size;
  cursor_ = past ? size : cursor_ + static_cast<size_t>(elements);
  return past ? kNoMoreItems : S_OK;
}

HRESULT AdsObject::Reset() {
  cursor_ = 0;
  return S_OK;
}

HRESULT AdsObject::Item(VARIANT index, VARIANT* entry) {
  if (!entry) return E_POINTER;
  VariantInit(entry);
  if (index.vt == VT_BSTR) return GetPropertyItem(index.bstrVal, ADSTYPE_UNKNOWN, entry);
  if (index.vt != VT_I4 && index.vt != VT_I2) return E_INVALIDARG;
  LONG i = index.vt == VT_I4 ? index.lVal : index.iVal;
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  if (i < 0 || static_cast<size_t>(i) >= cache_->attributes.size()) return E_ADS_PROPERTY_NOT_FOUND;
  return propertyEntryVariant(cache_->attributes[static_cast<size_t>(i)], entry);
}

// The entry keeps its attributes' own types: the type asked for is not a
// conversion (ADSI's LDAP provider does the same).
HRESULT AdsObject::GetPropertyItem(BSTR name, LONG, VARIANT* entry) {
  if (auto fault = faults::check("IADsPropertyList::GetPropertyItem")) return *fault;
  if (!name || !entry) return E_POINTER;
  VariantInit(entry);
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  const Attribute* attribute = cached(utf16ToUtf8(name));
  if (!attribute) return E_ADS_PROPERTY_NOT_FOUND;
  return propertyEntryVariant(*attribute, entry);
}

HRESULT AdsObject::PurgePropertyList() {
  cache_ = std::make_shared<DirectoryEntry>();  // empty, and not reloaded implicitly
  cursor_ = 0;
  return S_OK;
}

HRESULT AdsObject::PutPropertyItem(VARIANT) { return E_NOTIMPL; }
HRESULT AdsObject::ResetPropertyItem(VARIANT) { return E_NOTIMPL; }

}  // namespace adsi
