// Well-known interface identifiers and the registry form of a GUID.
#include <cstdio>

#include "windows.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID GUID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its NUL.
  constexpr int kLength = 39;
  if (!lpsz || cchMax < kLength) return 0;
  char text[kLength];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(rguid.Data1), rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6], rguid.Data4[7]);
  for (int i = 0; i < kLength; ++i) lpsz[i] = static_cast<unsigned char>(text[i]);
  return kLength;
}
