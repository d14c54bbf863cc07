// IADsPropertyValue: one value of a cached property, read through the getter
// of its type. The property cache is read-only: the setters are E_NOTIMPL.
#pragma once

#include "com/com_object.h"
#include "iads.h"
#include "schema/value_convert.h"

namespace adsi {

class PropertyValue final : public ComObject<IADsPropertyValue> {
 public:
  static PropertyValue* create(TypedValue value) { return new PropertyValue(std::move(value)); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE get_ADsType(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_ADsType(LONG type) override;
  HRESULT STDMETHODCALLTYPE get_DNString(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_DNString(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_CaseExactString(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_CaseExactString(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_CaseIgnoreString(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_CaseIgnoreString(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_PrintableString(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_PrintableString(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_NumericString(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_NumericString(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Boolean(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_Boolean(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_Integer(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_Integer(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_OctetString(VARIANT* retval) override;
  HRESULT STDMETHODCALLTYPE put_OctetString(VARIANT value) override;
  HRESULT STDMETHODCALLTYPE get_SecurityDescriptor(IDispatch** retval) override;
  HRESULT STDMETHODCALLTYPE put_SecurityDescriptor(IDispatch* value) override;
  HRESULT STDMETHODCALLTYPE get_LargeInteger(IDispatch** retval) override;
  HRESULT STDMETHODCALLTYPE put_LargeInteger(IDispatch* value) override;
  HRESULT STDMETHODCALLTYPE get_UTCTime(DATE* retval) override;
  HRESULT STDMETHODCALLTYPE put_UTCTime(DATE value) override;

 private:
  explicit PropertyValue(TypedValue value) : value_(std::move(value)) {}
  HRESULT getString(ADSTYPE type, const char* getter, BSTR* retval);
  HRESULT getNumber(ADSTYPE type, const char* getter, LONG* retval);
  TypedValue value_;
};

// A VT_ARRAY|VT_UI1 VARIANT of the bytes (lower bound 0).
HRESULT makeOctetVariant(const std::string& bytes, VARIANT* out);

}  // namespace adsi
