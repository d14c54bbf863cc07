// BSTR: a 32-bit byte count, the characters, then a two-byte NUL that the
// count does not include. The BSTR points just past the count.
#include <cstdlib>
#include <cstring>

#include "alloc_tracking.h"
#include "windows.h"

namespace {

constexpr size_t kPrefix = sizeof(DWORD);
constexpr size_t kTerminator = sizeof(OLECHAR);
// oleaut32 refuses byte lengths from 0x7FFFFFFF on.
constexpr size_t kMaxBytes = 0x7FFFFFFEu;

size_t textLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Allocates room for `bytes` bytes of text, copies `source` when given and
// terminates the string. Null when the countdown or the heap says no.
BSTR allocate(const void* source, size_t bytes) {
  if (bytes > kMaxBytes || !win32compat::allocationPermitted()) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + kTerminator));
  if (!block) return nullptr;
  DWORD count = static_cast<DWORD>(bytes);
  std::memcpy(block, &count, kPrefix);
  if (source) std::memcpy(block + kPrefix, source, bytes);
  block[kPrefix + bytes] = 0;
  block[kPrefix + bytes + 1] = 0;
  win32compat::liveStrings.fetch_add(1);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return allocate(psz, textLength(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return allocate(strIn, size_t{ui} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) { return allocate(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  // The source may lie inside the old string: copy before freeing.
  BSTR fresh = allocate(psz, psz ? textLength(psz) * sizeof(OLECHAR) : 0);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  DWORD count;
  std::memcpy(&count, reinterpret_cast<unsigned char*>(bstr) - kPrefix, kPrefix);
  return count;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void SysFreeString(BSTR bstrString) {
  if (!bstrString) return;
  win32compat::liveStrings.fetch_sub(1);
  std::free(reinterpret_cast<unsigned char*>(bstrString) - kPrefix);
}

HRESULT VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR* pbstrResult) {
  if (!pbstrResult) return E_INVALIDARG;
  size_t left = SysStringByteLen(bstrLeft);
  size_t right = SysStringByteLen(bstrRight);
  *pbstrResult = allocate(nullptr, left + right);
  if (!*pbstrResult) return E_OUTOFMEMORY;
  auto* out = reinterpret_cast<unsigned char*>(*pbstrResult);
  if (left) std::memcpy(out, bstrLeft, left);
  if (right) std::memcpy(out + left, bstrRight, right);
  return S_OK;
}
