// A paged search left after its first rows, then the same search read to the
// end on the same connection: the page already asked for ahead is read and
// the server told to end the first search, so the second sees every entry.
// Exits 0 when it did and nothing was left alive.
//   ldap_paging HOST:PORT
#include <cstdio>
#include <string>

#include "activeds.h"
#include "adsi_compat.h"

namespace {

// Rows read from a paged search for people, at most `limit` (0: all);
// -1 when the search could not run to where it should.
long readPeople(IDirectorySearch* search, DWORD pageSize, long limit) {
  ADS_SEARCHPREF_INFO page{};
  page.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  page.vValue.dwType = ADSTYPE_INTEGER;
  page.vValue.Integer = pageSize;
  if (search->SetSearchPreference(&page, 1) != S_OK) return -1;
  std::u16string filter = u"(objectClass=inetOrgPerson)";
  std::u16string cn = u"cn";
  LPWSTR names[] = {cn.data()};
  ADS_SEARCH_HANDLE handle = nullptr;
  if (FAILED(search->ExecuteSearch(filter.data(), names, 1, &handle))) return -1;
  long rows = 0;
  HRESULT hr = S_OK;
  while ((limit == 0 || rows < limit) && (hr = search->GetNextRow(handle)) == S_OK) ++rows;
  search->CloseSearchHandle(handle);
  return hr == S_OK || hr == S_ADS_NOMORE_ROWS ? rows : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s HOST:PORT\n", argv[0]);
    return 2;
  }
  const std::string path = "LDAP://" + std::string(argv[1]) + "/ou=people,dc=example,dc=com";
  const std::u16string widePath(path.begin(), path.end());
  IDirectorySearch* search = nullptr;
  if (FAILED(ADsGetObject(widePath.c_str(), IID_IDirectorySearch, reinterpret_cast<void**>(&search)))) {
    std::fprintf(stderr, "cannot bind %s\n", path.c_str());
    return 1;
  }
  const long partial = readPeople(search, 10, 15);
  const long whole = readPeople(search, 100, 0);
  search->Release();
  const long alive = AdsCompatLiveObjects();
  std::printf("partial %ld, whole %ld, alive %ld\n", partial, whole, alive);
  return partial == 15 && whole == 250 && alive == 0 ? 0 : 1;
}
