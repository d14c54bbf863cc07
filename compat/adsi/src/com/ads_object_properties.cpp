// IADsPropertyList of AdsObject: the property cache that GetInfo loaded, in
// the entry's attribute order.
#include "adserr.h"
#include "com/ads_object.h"
#include "com/property_entry.h"
#include "faults.h"
#include "text.h"

namespace adsi {
namespace {

// What Next returns past the last property: HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS).
constexpr HRESULT kNoMoreItems = static_cast<HRESULT>(0x80070103);

}  // namespace

HRESULT AdsObject::propertyEntryVariant(const Attribute& attribute, VARIANT* out) {
  VariantInit(out);
  out->vt = VT_DISPATCH;
  out->pdispVal = static_cast<IADsPropertyEntry*>(PropertyEntry::create(attribute));
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
