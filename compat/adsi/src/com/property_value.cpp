#include "com/property_value.h"

#include <cstring>

#include "adserr.h"
#include "com/large_integer.h"
#include "faults.h"

namespace adsi {

HRESULT makeOctetVariant(std::string_view bytes, VARIANT* out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!array) return E_OUTOFMEMORY;
  void* data = nullptr;
  HRESULT hr = SafeArrayAccessData(array, &data);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  VariantInit(out);
  out->vt = VT_ARRAY | VT_UI1;
  out->parray = array;
  return S_OK;
}

HRESULT PropertyValue::QueryInterface(REFIID riid, void** ppv) {
  return answerOwnQuery<IADsPropertyValue>(this, "IADsPropertyValue", IID_IADsPropertyValue, riid, ppv);
}

HRESULT PropertyValue::Clear() {
  value_ = TypedValue();
  attribute_.reset();
  return S_OK;
}

HRESULT PropertyValue::get_ADsType(LONG* retval) {
  if (auto fault = faults::check("IADsPropertyValue::get_ADsType")) return *fault;
  if (!retval) return E_POINTER;
  *retval = value_.type;
  return S_OK;
}

HRESULT PropertyValue::getString(ADSTYPE type, const char* getter, BSTR* retval) {
  if (auto fault = faults::check("IADsPropertyValue::", getter)) return *fault;
  if (!retval) return E_POINTER;
  *retval = nullptr;
  if (value_.type != type || !attribute_) return E_ADS_CANT_CONVERT_DATATYPE;
  *retval = allocBstr(raw());
  return *retval ? S_OK : E_OUTOFMEMORY;
}

HRESULT PropertyValue::get_DNString(BSTR* r) { return getString(ADSTYPE_DN_STRING, "get_DNString", r); }
HRESULT PropertyValue::get_CaseExactString(BSTR* r) {
  return getString(ADSTYPE_CASE_EXACT_STRING, "get_CaseExactString", r);
}
HRESULT PropertyValue::get_CaseIgnoreString(BSTR* r) {
  return getString(ADSTYPE_CASE_IGNORE_STRING, "get_CaseIgnoreString", r);
}
HRESULT PropertyValue::get_PrintableString(BSTR* r) {
  return getString(ADSTYPE_PRINTABLE_STRING, "get_PrintableString", r);
}
HRESULT PropertyValue::get_NumericString(BSTR* r) { return getString(ADSTYPE_NUMERIC_STRING, "get_NumericString", r); }

HRESULT PropertyValue::getNumber(ADSTYPE type, const char* getter, LONG* retval) {
  if (auto fault = faults::check("IADsPropertyValue::", getter)) return *fault;
  if (!retval) return E_POINTER;
  if (value_.type != type) return E_ADS_CANT_CONVERT_DATATYPE;
  *retval = static_cast<LONG>(value_.number);
  return S_OK;
}

HRESULT PropertyValue::get_Boolean(LONG* r) { return getNumber(ADSTYPE_BOOLEAN, "get_Boolean", r); }
HRESULT PropertyValue::get_Integer(LONG* r) { return getNumber(ADSTYPE_INTEGER, "get_Integer", r); }

HRESULT PropertyValue::get_OctetString(VARIANT* retval) {
  if (auto fault = faults::check("IADsPropertyValue::get_OctetString")) return *fault;
  if (!retval) return E_POINTER;
  if (value_.type != ADSTYPE_OCTET_STRING || !attribute_) return E_ADS_CANT_CONVERT_DATATYPE;
  return makeOctetVariant(raw(), retval);
}

HRESULT PropertyValue::get_SecurityDescriptor(IDispatch** retval) {
  if (!retval) return E_POINTER;
  *retval = nullptr;
  // Descriptors are not decoded into IADsSecurityDescriptor objects.
  return E_ADS_CANT_CONVERT_DATATYPE;
}

HRESULT PropertyValue::get_LargeInteger(IDispatch** retval) {
  if (auto fault = faults::check("IADsPropertyValue::get_LargeInteger")) return *fault;
  if (!retval) return E_POINTER;
  *retval = nullptr;
  if (value_.type != ADSTYPE_LARGE_INTEGER) return E_ADS_CANT_CONVERT_DATATYPE;
  *retval = LargeInteger::create(value_.number);
  return S_OK;
}

HRESULT PropertyValue::get_UTCTime(DATE* retval) {
  if (auto fault = faults::check("IADsPropertyValue::get_UTCTime")) return *fault;
  if (!retval) return E_POINTER;
  if (value_.type != ADSTYPE_UTC_TIME) return E_ADS_CANT_CONVERT_DATATYPE;
  SYSTEMTIME t = value_.time;
  return SystemTimeToVariantTime(&t, retval) ? S_OK : E_ADS_CANT_CONVERT_DATATYPE;
}

HRESULT PropertyValue::put_ADsType(LONG) { return E_NOTIMPL; }
HRESULT PropertyValue::put_DNString(BSTR) { return E_NOTIMPL; }
HRESULT PropertyValue::put_CaseExactString(BSTR) { return E_NOTIMPL; }
HRESULT PropertyValue::put_CaseIgnoreString(BSTR) { return E_NOTIMPL; }
HRESULT PropertyValue::put_PrintableString(BSTR) { return E_NOTIMPL; }
HRESULT PropertyValue::put_NumericString(BSTR) { return E_NOTIMPL; }
HRESULT PropertyValue::put_Boolean(LONG) { return E_NOTIMPL; }
HRESULT PropertyValue::put_Integer(LONG) { return E_NOTIMPL; }
HRESULT PropertyValue::put_OctetString(VARIANT) { return E_NOTIMPL; }
HRESULT PropertyValue::put_SecurityDescriptor(IDispatch*) { return E_NOTIMPL; }
HRESULT PropertyValue::put_LargeInteger(IDispatch*) { return E_NOTIMPL; }
HRESULT PropertyValue::put_UTCTime(DATE) { return E_NOTIMPL; }

}  // namespace adsi
