#include "fake_com.h"

std::atomic<int> liveFakes{0};

HRESULT FakePropertyValue::get_OctetString(VARIANT* v) {
  VariantInit(v);
  SAFEARRAY* array = SafeArrayCreateVector(octetsAsWrongType ? VT_I4 : VT_UI1, 0, static_cast<ULONG>(octets.size()));
  if (!array) return E_OUTOFMEMORY;
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  for (size_t i = 0; i < octets.size(); ++i)
    if (octetsAsWrongType)
      static_cast<LONG*>(data)[i] = octets[i];
    else
      static_cast<BYTE*>(data)[i] = octets[i];
  SafeArrayUnaccessData(array);
  v->vt = static_cast<VARTYPE>(VT_ARRAY | (octetsAsWrongType ? VT_I4 : VT_UI1));
  v->parray = array;
  return S_OK;
}

void FakePropertyEntry::setArray(std::vector<VARIANT> elements) {
  VariantClear(&values);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(elements.size()));
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  for (size_t i = 0; i < elements.size(); ++i) static_cast<VARIANT*>(data)[i] = elements[i];  // adopted
  SafeArrayUnaccessData(array);
  values.vt = VT_ARRAY | VT_VARIANT;
  values.parray = array;
}

VARIANT bstrElement(const char16_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(text));
  return v;
}

VARIANT dispatchElement(IDispatch* adopted) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = adopted;
  return v;
}

VARIANT integerElement(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
