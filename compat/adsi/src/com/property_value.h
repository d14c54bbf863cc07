// IADsPropertyValue: one value of a cached property, read through the getter
// of its type. The property cache is read-only: the setters are E_NOTIMPL.
#pragma once

#include <memory>

#include "com/com_object.h"
#include "iads.h"
#include "schema/value_convert.h"
#include "store/directory_entry.h"

namespace adsi {

class PropertyValue final : public ComObject<IADsPropertyValue> {
 public:
  // Value `index` of `attribute`. A string or an octet string is read from
  // the attribute when its getter asks (`converted` unused); any other type
  // comes converted, since whether it converts decides what get_Values says.
  static PropertyValue* create(std::shared_ptr<const Attribute> attribute, size_t index, TypedValue converted) {
    return new PropertyValue(std::move(attribute), index, std::move(converted));
  }

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
  PropertyValue(std::shared_ptr<const Attribute> attribute, size_t index, TypedValue converted)
      : attribute_(std::move(attribute)), index_(index), value_(std::move(converted)) {
    value_.type = attribute_->type;
  }
  HRESULT getString(ADSTYPE type, const char* getter, BSTR* retval);
  HRESULT getNumber(ADSTYPE type, const char* getter, LONG* retval);
  std::string_view raw() const { return attribute_->values[index_]; }

  std::shared_ptr<const Attribute> attribute_;  // null after Clear
  size_t index_;
  TypedValue value_;  // its type; and the value, for the types converted at once
};

// A VT_ARRAY|VT_UI1 VARIANT of the bytes (lower bound 0).
HRESULT makeOctetVariant(std::string_view bytes, VARIANT* out);

}  // namespace adsi
