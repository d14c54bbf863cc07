#include <gtest/gtest.h>
#include <win32_compat.h>

#include "counting_unknown.h"
#include "holders.h"

TEST(SafeArray, BoundsAndShapeOfEachDimension) {
  SAFEARRAYBOUND bounds[] = {{3, -1}, {2, 10}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 2u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_I4);

  LONG value = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &value), S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(SafeArrayGetLBound(psa, 2, &value), S_OK);
  EXPECT_EQ(value, 10);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &value), S_OK);
  EXPECT_EQ(value, 11);
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 3, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);

  // The first index varies fastest in memory.
  LONG at[] = {0, 11};
  LONG stored = 42;
  ASSERT_EQ(SafeArrayPutElement(psa, at, &stored), S_OK);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(static_cast<LONG*>(data)[1 + 1 * 3], 42);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);

  LONG outside[] = {2, 10};
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, EmptyVectorHasUpperBoundBelowLower) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(psa, nullptr);
  LONG upper = 0;
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
}

TEST(SafeArray, LocksAreCountedAndBlockDestruction) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  void *first = nullptr, *second = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &first), S_OK);
  ASSERT_EQ(SafeArrayLock(psa), S_OK);
  ASSERT_EQ(SafeArrayAccessData(psa, &second), S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(psa->cLocks, 3u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);

  VariantHolder holder;
  holder.v.vt = VT_ARRAY | VT_UI1;
  holder.v.parray = psa;
  EXPECT_EQ(VariantClear(&holder.v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(holder.v.parray, psa);

  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
  // holder now destroys the array
}

TEST(SafeArray, ElementsAreCopiesWithTheirOwnReferences) {
  CountingUnknown object;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  ASSERT_NE(psa, nullptr);
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&object)), S_OK);
  EXPECT_EQ(object.references, 2u);
  IUnknown* got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &got), S_OK);
  EXPECT_EQ(got, &object);
  EXPECT_EQ(object.references, 3u);
  got->Release();
  // Replacing an element releases the one it held.
  ASSERT_EQ(SafeArrayPutElement(psa, &index, nullptr), S_OK);
  EXPECT_EQ(object.references, 1u);
  ASSERT_EQ(SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&object)), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(object.references, 1u);

  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  BstrHolder original(SysAllocString(u"value"));
  LONG zero = 0;
  ASSERT_EQ(SafeArrayPutElement(strings, &zero, original.p), S_OK);
  BstrHolder copy;
  ASSERT_EQ(SafeArrayGetElement(strings, &zero, &copy.p), S_OK);
  EXPECT_NE(copy.p, original.p);
  EXPECT_EQ(copy.text(), u"value");
  EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
}

TEST(SafeArray, DestroyClearsVariantsHoldingStringsInterfacesAndArrays) {
  LONG stringsBefore = Win32CompatLiveStrings();
  LONG arraysBefore = Win32CompatLiveArrays();
  CountingUnknown object;
  {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    ASSERT_NE(psa, nullptr);
    VariantHolder text, unknown, nested;
    text.v.vt = VT_BSTR;
    text.v.bstrVal = SysAllocString(u"x");
    unknown.v.vt = VT_UNKNOWN;
    unknown.v.punkVal = &object;
    object.AddRef();
    nested.v.vt = VT_ARRAY | VT_BSTR;
    nested.v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG zero = 0;
    BstrHolder inner(SysAllocString(u"inner"));
    ASSERT_EQ(SafeArrayPutElement(nested.v.parray, &zero, inner.p), S_OK);

    LONG i = 0;
    for (VariantHolder* h : {&text, &unknown, &nested}) {
      ASSERT_EQ(SafeArrayPutElement(psa, &i, &h->v), S_OK);
      ++i;
    }
    EXPECT_EQ(object.references, 3u);

    VariantHolder whole;
    whole.v.vt = VT_ARRAY | VT_VARIANT;
    whole.v.parray = psa;
    VariantHolder copy;
    ASSERT_EQ(VariantCopy(&copy.v, &whole.v), S_OK);
    EXPECT_NE(copy.v.parray, psa);
    EXPECT_EQ(object.references, 4u);
  }
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(Win32CompatLiveStrings(), stringsBefore);
  EXPECT_EQ(Win32CompatLiveArrays(), arraysBefore);
}
