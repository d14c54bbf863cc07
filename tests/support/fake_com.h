// Small COM objects for tests: a reference-counted base and fakes of the
// property-cache value and large-integer interfaces with chosen contents.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"

// Counts live fakes so tests can prove every reference was released.
extern std::atomic<int> liveFakes;

template <class Interface>
class FakeObject : public Interface {
 public:
  FakeObject() { ++liveFakes; }
  virtual ~FakeObject() { --liveFakes; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || answers(iid)) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  virtual bool answers(REFIID iid) const = 0;

 private:
  std::atomic<ULONG> references_{1};
};

class FakeLargeInteger : public FakeObject<IADsLargeInteger> {
 public:
  FakeLargeInteger(LONG high, LONG low) : high_(high), low_(low) {}
  HRESULT STDMETHODCALLTYPE get_HighPart(LONG* v) override { return *v = high_, S_OK; }
  HRESULT STDMETHODCALLTYPE put_HighPart(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LowPart(LONG* v) override { return *v = low_, S_OK; }
  HRESULT STDMETHODCALLTYPE put_LowPart(LONG) override { return E_NOTIMPL; }

 protected:
  bool answers(REFIID iid) const override { return IsEqualGUID(iid, IID_IADsLargeInteger); }

 private:
  LONG high_, low_;
};

// A property value of one type. Every getter answers from the fields below;
// `failType` makes get_ADsType fail, `failGetters` makes the string getters
// fail.
class FakePropertyValue : public FakeObject<IADsPropertyValue> {
 public:
  explicit FakePropertyValue(LONG type) : type(type) {}

  LONG type;
  bool failType = false;
  bool failGetters = false;
  std::u16string text;
  LONG number = 0;
  std::vector<BYTE> octets;
  bool octetsAsWrongType = false;
  DATE date = 0;
  LONG high = 0, low = 0;
  bool noLargeInteger = false;

  HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ADsType(LONG* v) override {
    if (failType) return E_FAIL;
    *v = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ADsType(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_DNString(BSTR* v) override { return string(v); }
  HRESULT STDMETHODCALLTYPE put_DNString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CaseExactString(BSTR* v) override { return string(v); }
  HRESULT STDMETHODCALLTYPE put_CaseExactString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CaseIgnoreString(BSTR* v) override { return string(v); }
  HRESULT STDMETHODCALLTYPE put_CaseIgnoreString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PrintableString(BSTR* v) override { return string(v); }
  HRESULT STDMETHODCALLTYPE put_PrintableString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NumericString(BSTR* v) override { return string(v); }
  HRESULT STDMETHODCALLTYPE put_NumericString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Boolean(LONG* v) override { return *v = number, S_OK; }
  HRESULT STDMETHODCALLTYPE put_Boolean(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Integer(LONG* v) override { return *v = number, S_OK; }
  HRESULT STDMETHODCALLTYPE put_Integer(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OctetString(VARIANT* v) override;
  HRESULT STDMETHODCALLTYPE put_OctetString(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SecurityDescriptor(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_SecurityDescriptor(IDispatch*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LargeInteger(IDispatch** v) override {
    if (noLargeInteger) return E_ADS_CANT_CONVERT_DATATYPE;
    *v = new FakeLargeInteger(high, low);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_LargeInteger(IDispatch*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UTCTime(DATE* v) override { return *v = date, S_OK; }
  HRESULT STDMETHODCALLTYPE put_UTCTime(DATE) override { return E_NOTIMPL; }

 protected:
  bool answers(REFIID iid) const override { return IsEqualGUID(iid, IID_IADsPropertyValue); }

 private:
  HRESULT string(BSTR* v) {
    if (failGetters) return E_ADS_CANT_CONVERT_DATATYPE;
    *v = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    return S_OK;
  }
};

// A property entry whose values VARIANT is given by the test (the entry
// hands out a copy each time).
class FakePropertyEntry : public FakeObject<IADsPropertyEntry> {
 public:
  FakePropertyEntry() { VariantInit(&values); }
  ~FakePropertyEntry() override { VariantClear(&values); }
  VARIANT values;
  HRESULT valuesResult = S_OK;

  // Sets the values to an array of VARIANTs built from `elements` (adopted).
  void setArray(std::vector<VARIANT> elements);

  HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ADsType(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ADsType(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ControlCode(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ControlCode(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Values(VARIANT* v) override {
    if (valuesResult != S_OK) return valuesResult;
    VariantInit(v);
    return VariantCopy(v, &values);
  }
  HRESULT STDMETHODCALLTYPE put_Values(VARIANT) override { return E_NOTIMPL; }

 protected:
  bool answers(REFIID iid) const override { return IsEqualGUID(iid, IID_IADsPropertyEntry); }
};

VARIANT bstrElement(const char16_t* text);
VARIANT dispatchElement(IDispatch* adopted);
VARIANT integerElement(LONG value);
