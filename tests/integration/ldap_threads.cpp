// Many calls at once against one server, as a database server makes them:
// each thread binds its own objects, searches page by page and walks a
// group's members, over and over. Exits 0 when every thread saw the whole
// answer every time and nothing was left alive.
//   ldap_threads HOST:PORT THREADS ROUNDS
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "activeds.h"
#include "adsi_compat.h"

namespace {

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  void** out() { return reinterpret_cast<void**>(&p); }
};

// Rows of a paged subtree search for inetOrgPerson entries.
long countPeople(const std::string& server) {
  Ref<IDirectorySearch> search;
  std::u16string path = wide("LDAP://" + server + "/ou=people,dc=example,dc=com");
  if (FAILED(ADsGetObject(path.c_str(), IID_IDirectorySearch, search.out()))) return -1;
  ADS_SEARCHPREF_INFO page{};
  page.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  page.vValue.dwType = ADSTYPE_INTEGER;
  page.vValue.Integer = 100;
  if (search.p->SetSearchPreference(&page, 1) != S_OK) return -1;
  std::u16string filter = u"(objectClass=inetOrgPerson)";
  std::u16string cn = u"cn";
  LPWSTR names[] = {cn.data()};
  ADS_SEARCH_HANDLE handle = nullptr;
  if (FAILED(search.p->ExecuteSearch(filter.data(), names, 1, &handle))) return -1;
  long rows = 0;
  HRESULT hr;
  while ((hr = search.p->GetNextRow(handle)) == S_OK) {
    ADS_SEARCH_COLUMN column;
    if (search.p->GetColumn(handle, cn.data(), &column) != S_OK)
      rows = -1000000;
    else
      search.p->FreeColumn(&column);
    ++rows;
  }
  search.p->CloseSearchHandle(handle);
  return hr == S_ADS_NOMORE_ROWS ? rows : -1;
}

// Members of cn=staff that could be read.
long countMembers(const std::string& server) {
  Ref<IADsGroup> group;
  std::u16string path = wide("LDAP://" + server + "/cn=staff,ou=groups,dc=example,dc=com");
  if (FAILED(ADsGetObject(path.c_str(), IID_IADsGroup, group.out()))) return -1;
  Ref<IADsMembers> members;
  Ref<IUnknown> unknown;
  Ref<IEnumVARIANT> enumerator;
  if (FAILED(group.p->Members(&members.p)) || FAILED(members.p->get__NewEnum(&unknown.p)) ||
      FAILED(unknown.p->QueryInterface(IID_IEnumVARIANT, enumerator.out())))
    return -1;
  long readable = 0;
  VARIANT element;
  ULONG fetched = 0;
  while (ADsEnumerateNext(enumerator.p, 1, &element, &fetched) == S_OK && fetched == 1) {
    IADs* member = nullptr;
    if (SUCCEEDED(element.pdispVal->QueryInterface(IID_IADs, reinterpret_cast<void**>(&member)))) {
      if (member->GetInfo() == S_OK) ++readable;
      member->Release();
    }
    VariantClear(&element);
  }
  return readable;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s HOST:PORT THREADS ROUNDS\n", argv[0]);
    return 2;
  }
  std::string server = argv[1];
  int threads = std::atoi(argv[2]), rounds = std::atoi(argv[3]);
  std::atomic<int> passed{0}, failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      CoInitialize(nullptr);
      for (int r = 0; r < rounds; ++r) {
        long people = countPeople(server), members = countMembers(server);
        if (people == 250 && members == 3) {
          ++passed;
        } else {
          ++failed;
          std::fprintf(stderr, "round: %ld people, %ld members\n", people, members);
        }
      }
      CoUninitialize();
    });
  }
  for (std::thread& w : workers) w.join();
  long alive = AdsCompatLiveObjects();
  if (alive != 0) {
    std::fprintf(stderr, "%ld objects still alive\n", alive);
    ++failed;
  }
  std::printf("rounds complete %d, incomplete %d\n", passed.load(), failed.load());
  return failed == 0 ? 0 : 1;
}
