#include <gtest/gtest.h>
#include <win32_compat.h>

#include <string>
#include <thread>

TEST(ComApartment, NestingAndModeChange) {
  std::thread worker([] {
    EXPECT_EQ(Win32CompatComInitDepth(), 0);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(Win32CompatComInitDepth(), 2);
    // Asking for the other kind is refused and not counted.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(Win32CompatComInitDepth(), 2);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(Win32CompatComInitDepth(), 0);
    CoUninitialize();  // unbalanced: ignored
    EXPECT_EQ(Win32CompatComInitDepth(), 0);
    // Once left, the apartment may be entered with the other kind.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    int value = 0;
    EXPECT_EQ(CoInitialize(&value), E_INVALIDARG);
  });
  worker.join();
}

TEST(ComApartment, EachThreadHasItsOwn) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  std::thread other([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(Win32CompatComInitDepth(), 1);
  CoUninitialize();
}

TEST(Guid, RegistryFormUpperCase) {
  WCHAR text[39];
  ASSERT_EQ(StringFromGUID2(IID_IDispatch, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{00020400-0000-0000-C000-000000000046}");
  const GUID mixed = {0xdeadbeef, 0xa1b2, 0x0c3d, {0xfe, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd}};
  ASSERT_EQ(StringFromGUID2(mixed, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{DEADBEEF-A1B2-0C3D-FE01-23456789ABCD}");
  EXPECT_EQ(StringFromGUID2(mixed, text, 38), 0);
  EXPECT_TRUE(IsEqualGUID(IID_IUnknown, IID_IUnknown));
  EXPECT_FALSE(IsEqualGUID(IID_IEnumVARIANT, GUID_NULL));
}
