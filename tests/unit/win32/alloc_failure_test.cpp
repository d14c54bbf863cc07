#include <gtest/gtest.h>
#include <win32_compat.h>

#include <thread>
#include <vector>

#include "holders.h"

namespace {
// Turns the injected failures off again whatever the test did.
struct FailureGuard {
  ~FailureGuard() { Win32CompatFailAllocationsAfter(-1); }
};
}  // namespace

TEST(AllocationFailure, CountsDownOverStringsAndArrays) {
  FailureGuard guard;
  LONG strings = Win32CompatLiveStrings();
  LONG arrays = Win32CompatLiveArrays();
  Win32CompatFailAllocationsAfter(2);
  BstrHolder first(SysAllocString(u"a"));
  SAFEARRAY* second = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  EXPECT_NE(first.p, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(SysAllocString(u"b"), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr);
  BstrHolder joined;
  EXPECT_EQ(VarBstrCat(first.p, first.p, &joined.p), E_OUTOFMEMORY);
  EXPECT_EQ(joined.p, nullptr);
  EXPECT_FALSE(SysReAllocString(&first.p, u"c"));
  EXPECT_EQ(first.text(), u"a");  // the old string survives a failed reallocation

  // Other threads are not affected.
  bool otherOk = false;
  std::thread other([&] {
    BSTR s = SysAllocString(u"x");
    otherOk = s != nullptr;
    SysFreeString(s);
  });
  other.join();
  EXPECT_TRUE(otherOk);

  Win32CompatFailAllocationsAfter(-1);
  BstrHolder again(SysAllocString(u"d"));
  EXPECT_NE(again.p, nullptr);
  EXPECT_EQ(SafeArrayDestroy(second), S_OK);
  EXPECT_EQ(Win32CompatLiveArrays(), arrays);
  EXPECT_EQ(Win32CompatLiveStrings(), strings + 2);
}

TEST(AllocationFailure, FailedDeepCopiesLeaveNothingBehind) {
  FailureGuard guard;
  LONG strings = Win32CompatLiveStrings();
  LONG arrays = Win32CompatLiveArrays();
  {
    VariantHolder source;
    source.v.vt = VT_ARRAY | VT_BSTR;
    source.v.parray = SafeArrayCreateVector(VT_BSTR, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
      BstrHolder s(SysAllocString(u"element"));
      ASSERT_EQ(SafeArrayPutElement(source.v.parray, &i, s.p), S_OK);
    }
    // Each step of the copy (the array, then its strings) may be the one
    // that fails.
    for (LONG allowed = 0; allowed < 4; ++allowed) {
      VariantHolder copy;
      Win32CompatFailAllocationsAfter(allowed);
      EXPECT_EQ(VariantCopy(&copy.v, &source.v), E_OUTOFMEMORY) << allowed;
      Win32CompatFailAllocationsAfter(-1);
      EXPECT_EQ(copy.v.vt, VT_EMPTY);
    }
    VariantHolder copy;
    Win32CompatFailAllocationsAfter(4);
    EXPECT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
  }
  EXPECT_EQ(Win32CompatLiveStrings(), strings);
  EXPECT_EQ(Win32CompatLiveArrays(), arrays);
}

TEST(LiveCounters, AreExactUnderConcurrentUse) {
  LONG strings = Win32CompatLiveStrings();
  LONG arrays = Win32CompatLiveArrays();
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        BSTR s = SysAllocString(u"concurrent");
        SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 1);
        LONG zero = 0;
        SafeArrayPutElement(psa, &zero, s);
        SysFreeString(s);
        SafeArrayDestroy(psa);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(Win32CompatLiveStrings(), strings);
  EXPECT_EQ(Win32CompatLiveArrays(), arrays);
}
