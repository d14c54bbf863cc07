#include <gtest/gtest.h>
#include <win32_compat.h>

#include "counting_unknown.h"
#include "holders.h"

TEST(Variant, ClearReleasesWhatItOwnsAndNothingByReference) {
  CountingUnknown object;
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_UNKNOWN;
  v.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(v.vt, VT_EMPTY);

  LONG before = Win32CompatLiveStrings();
  BSTR s = SysAllocString(u"kept");
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &s;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(Win32CompatLiveStrings(), before + 1);
  SysFreeString(s);

  v.vt = 15;  // no such type
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, 15);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, CopyIsDeep) {
  CountingUnknown object;
  VariantHolder source, copy;
  source.v.vt = VT_BSTR;
  source.v.bstrVal = SysAllocString(u"text");
  ASSERT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
  EXPECT_NE(copy.v.bstrVal, source.v.bstrVal);
  EXPECT_EQ(std::u16string(copy.v.bstrVal), u"text");

  // Copying over a value clears it first.
  VariantClear(&source.v);
  source.v.vt = VT_UNKNOWN;
  source.v.punkVal = &object;
  object.AddRef();
  ASSERT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
  EXPECT_EQ(copy.v.vt, VT_UNKNOWN);
  EXPECT_EQ(object.references, 3u);
  VariantClear(&copy.v);
  VariantClear(&source.v);
  EXPECT_EQ(object.references, 1u);
}

TEST(VariantChangeType, IntegersAndStrings) {
  VariantHolder v;
  v.v.vt = VT_I4;
  v.v.lVal = -7;
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(v.v.bstrVal), u"-7");

  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_I2), S_OK);
  EXPECT_EQ(v.v.vt, VT_I2);
  EXPECT_EQ(v.v.iVal, -7);

  VariantHolder text;
  text.v.vt = VT_BSTR;
  text.v.bstrVal = SysAllocString(u" 2.5 ");
  VariantHolder number;
  ASSERT_EQ(VariantChangeType(&number.v, &text.v, 0, VT_I4), S_OK);
  EXPECT_EQ(number.v.lVal, 2);  // ties go to even
  EXPECT_EQ(text.v.vt, VT_BSTR);

  SysReAllocString(&text.v.bstrVal, u"300");
  EXPECT_EQ(VariantChangeType(&number.v, &text.v, 0, VT_UI1), DISP_E_OVERFLOW);
  SysReAllocString(&text.v.bstrVal, u"12abc");
  EXPECT_EQ(VariantChangeType(&number.v, &text.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(number.v.lVal, 2);  // untouched on failure
  SysReAllocString(&text.v.bstrVal, u"inf");
  EXPECT_EQ(VariantChangeType(&number.v, &text.v, 0, VT_R8), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, BooleansRealsAndUnsupportedPairs) {
  VariantHolder b, out;
  b.v.vt = VT_BOOL;
  b.v.boolVal = VARIANT_TRUE;
  ASSERT_EQ(VariantChangeType(&out.v, &b.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.v.bstrVal), u"-1");
  ASSERT_EQ(VariantChangeType(&out.v, &b.v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.v.bstrVal), u"True");
  ASSERT_EQ(VariantChangeType(&out.v, &b.v, 0, VT_UI1), S_OK);
  EXPECT_EQ(out.v.bVal, 255);

  VariantHolder r;
  r.v.vt = VT_R8;
  r.v.dblVal = 0.1;
  ASSERT_EQ(VariantChangeType(&out.v, &r.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.v.bstrVal), u"0.1");
  r.v.dblVal = 1e20;
  ASSERT_EQ(VariantChangeType(&out.v, &r.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.v.bstrVal), u"1E+20");

  VariantHolder nullValue;
  nullValue.v.vt = VT_NULL;
  EXPECT_EQ(VariantChangeType(&out.v, &nullValue.v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VariantHolder dateText;
  dateText.v.vt = VT_BSTR;
  dateText.v.bstrVal = SysAllocString(u"3/1/2011");
  EXPECT_EQ(VariantChangeType(&out.v, &dateText.v, 0, VT_DATE), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out.v, &b.v, 0, 15), DISP_E_BADVARTYPE);
}

TEST(VariantChangeType, InterfacesAndTheirValueProperty) {
  CountingUnknown object;
  VariantHolder unknown, out;
  unknown.v.vt = VT_UNKNOWN;
  unknown.v.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantChangeType(&out.v, &unknown.v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out.v, &unknown.v, 0, VT_DISPATCH), E_NOINTERFACE);
  EXPECT_EQ(object.references, 2u);
}

TEST(VariantChangeType, ByReferenceSourcesAreRead) {
  LONG value = 12345;
  VariantHolder ref, out;
  ref.v.vt = VT_I4 | VT_BYREF;
  ref.v.plVal = &value;
  ASSERT_EQ(VariantChangeType(&out.v, &ref.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.v.bstrVal), u"12345");
}
