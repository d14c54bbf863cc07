// AdsCompatIsMemberOfGroup (adsi_compat.h): a host's question about a
// Kerberos principal, answered by the LDAP server serverless paths reach,
// bound with the host's own identity, never the embedded directory.
#include <cstdio>
#include <memory>
#include <string>

#include "adsi_compat.h"
#include "ldap/ldap_store.h"
#include "ldap/nested_membership.h"

namespace {

void writeReason(const std::string& text, char* out, size_t size) {
  if (out && size > 0) std::snprintf(out, size, "%s", text.c_str());
}

// "0x8007203A (The server is not operational.)"
std::string failureText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  char text[256] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(hr), 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
  return length > 0 ? std::string(code) + " (" + std::string(text, length) + ")" : std::string(code);
}

}  // namespace

HRESULT AdsCompatIsMemberOfGroup(const char* principal, const char* groupDn, char* reason, size_t reasonSize) {
  writeReason("", reason, reasonSize);
  if (!principal || !groupDn) return E_POINTER;
  adsi::MembershipSearch query;
  std::string error;
  if (!adsi::membershipSearch(principal, groupDn, query, error)) {
    writeReason(error, reason, reasonSize);
    return E_INVALIDARG;
  }
  adsi::AdsPath path;
  path.provider = "LDAP";
  path.dn = query.base;
  std::shared_ptr<adsi::DirectoryStore> store;
  HRESULT hr = adsi::LdapStore::open(path, store);
  if (FAILED(hr)) {
    writeReason("the directory of " + query.base + " could not be reached: " + failureText(hr), reason, reasonSize);
    return hr;
  }
  adsi::SearchRequest request;
  request.baseDn = query.base;
  request.filter = query.filter;
  request.allAttributes = false;  // none: the entry's presence is the answer
  std::unique_ptr<adsi::SearchCursor> cursor;
  std::vector<adsi::EntryPtr> page;
  hr = store->search(request, cursor);
  if (SUCCEEDED(hr)) hr = cursor->nextPage(page);
  if (FAILED(hr)) {
    writeReason("the search of " + query.base + " for " + query.filter + " failed: " + failureText(hr), reason,
                reasonSize);
    return hr;
  }
  return page.empty() ? S_FALSE : S_OK;
}
