#include "com/property_entry.h"

#include "adserr.h"
#include "com/property_value.h"
#include "faults.h"
#include "text.h"

namespace adsi {

HRESULT PropertyEntry::QueryInterface(REFIID riid, void** ppv) {
  return answerOwnQuery<IADsPropertyEntry>(this, "IADsPropertyEntry", IID_IADsPropertyEntry, riid, ppv);
}

HRESULT PropertyEntry::Clear() {
  attribute_ = std::make_shared<const Attribute>();
  return S_OK;
}

HRESULT PropertyEntry::get_Name(BSTR* retval) {
  if (auto fault = faults::check("IADsPropertyEntry::get_Name")) return *fault;
  if (!retval) return E_POINTER;
  *retval = allocBstr(attribute_->name);
  return *retval ? S_OK : E_OUTOFMEMORY;
}

HRESULT PropertyEntry::get_ADsType(LONG* retval) {
  if (auto fault = faults::check("IADsPropertyEntry::get_ADsType")) return *fault;
  if (!retval) return E_POINTER;
  *retval = attribute_->type;
  return S_OK;
}

HRESULT PropertyEntry::get_ControlCode(LONG* retval) {
  if (!retval) return E_POINTER;
  *retval = 0;
  return S_OK;
}

HRESULT PropertyEntry::get_Values(VARIANT* retval) {
  if (auto fault = faults::check("IADsPropertyEntry::get_Values")) return *fault;
  if (!retval) return E_POINTER;
  VariantInit(retval);
  const std::vector<std::string>& raw = attribute_->values;
  if (auto odd = faults::check("IADsPropertyEntry::get_Values:notArray")) {
    // A lone string instead of the array.
    retval->vt = VT_BSTR;
    retval->bstrVal = allocBstr(raw.empty() ? std::string() : raw[0]);
    return *odd;
  }
  // Strings and bytes are read when asked for; other values are converted
  // now, and one that does not convert fails the whole property.
  std::vector<TypedValue> values(takenAsIs(attribute_->type) ? 0 : raw.size());
  for (size_t i = 0; i < values.size(); ++i)
    if (!convertValue(attribute_->type, raw[i], values[i])) return E_ADS_CANT_CONVERT_DATATYPE;
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(raw.size()));
  if (!array) return E_OUTOFMEMORY;
  VARIANT* elements = nullptr;
  HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&elements));
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  auto odd = faults::check("IADsPropertyEntry::get_Values:oddElement");
  size_t oddIndex = raw.size() / 2;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (odd && i == oddIndex) {
      elements[i].vt = VT_I4;
      elements[i].lVal = 0;
      continue;
    }
    elements[i].vt = VT_DISPATCH;
    elements[i].pdispVal = static_cast<IADsPropertyValue*>(
        PropertyValue::create(attribute_, i, values.empty() ? TypedValue() : std::move(values[i])));
  }
  SafeArrayUnaccessData(array);
  retval->vt = VT_ARRAY | VT_VARIANT;
  retval->parray = array;
  return odd ? *odd : S_OK;
}

HRESULT PropertyEntry::put_Name(BSTR) { return E_NOTIMPL; }
HRESULT PropertyEntry::put_ADsType(LONG) { return E_NOTIMPL; }
HRESULT PropertyEntry::put_ControlCode(LONG) { return E_NOTIMPL; }
HRESULT PropertyEntry::put_Values(VARIANT) { return E_NOTIMPL; }

}  // namespace adsi
