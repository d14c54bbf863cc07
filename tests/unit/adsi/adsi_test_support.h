// Holders, conversions and fixtures shared by the tests of the ADSI stand-in.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activeds.h"
#include "adsi_compat.h"
#include "win32_compat.h"
#include "platform/com_ptr.h"

template <class T>
using Ref = ComPtr<T>;  // one COM reference, released at the end of the scope

struct Bstr {
  Bstr() = default;
  ~Bstr() { SysFreeString(p); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* put() {
    SysFreeString(p);
    p = nullptr;
    return &p;
  }
  std::string utf8() const;
  BSTR p = nullptr;
};

struct Var {
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  VARIANT v;
};

std::u16string wide(const std::string& utf8);
std::string narrow(const WCHAR* text);

// Binds a path for an interface; the HRESULT of ADsGetObject.
template <class T>
HRESULT bindPath(const std::string& path, REFIID iid, Ref<T>& out) {
  return ADsGetObject(wide(path).c_str(), iid, out.putVoid());
}

// Runs a search below `path` and returns the values of `attribute` (its
// first value, as text) of every row, in order.
std::vector<std::string> searchValues(const std::string& path, const std::string& filter, const std::string& attribute,
                                      HRESULT* executeResult = nullptr);

// Leak checks: every test ends with as many live COM objects, AllocADsMem
// blocks, BSTRs and SAFEARRAYs as it started with.
class AdsiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Mounts LDIF text as the default directory for this test.
  void mount(const std::string& ldif);

 private:
  LONG objects_ = 0, adsMem_ = 0, strings_ = 0, arrays_ = 0;
};

// The sample directory, samples/corp.ldif.
class SampleTest : public AdsiTest {
 protected:
  void SetUp() override;
};

extern const char* const kRoot;   // DC=corp,DC=example,DC=com
extern const char* const kAlice;  // CN=Alice Smith,OU=Sales,OU=Staff,...
