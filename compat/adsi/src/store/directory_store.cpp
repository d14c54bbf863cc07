#include "store/directory_store.h"

#include <cctype>

#include "adserr.h"

namespace adsi {
namespace {

// An object class is named by a descriptor (a letter, then letters, digits
// and hyphens) or a numeric OID (RFC 4512, 1.4); anything else cannot be
// put in the listing's filter.
bool isClassName(const std::string& name) {
  if (name.empty()) return false;
  auto all = [&](auto allowed) {
    for (unsigned char c : name)
      if (!allowed(c)) return false;
    return true;
  };
  if (std::isalpha(static_cast<unsigned char>(name[0])))
    return all([](unsigned char c) { return std::isalnum(c) || c == '-'; });
  if (!all([](unsigned char c) { return std::isdigit(c) || c == '.'; })) return false;
  return name.back() != '.' && name.find("..") == std::string::npos;
}

}  // namespace

void DirectoryStore::readEntries(const std::vector<std::string>& dns, std::vector<EntryRead>& reads) {
  reads.assign(dns.size(), EntryRead());
  for (size_t i = 0; i < dns.size(); ++i) reads[i].result = readEntry(dns[i], reads[i].entry);
}

namespace {

class ReadsAtFinish : public PendingReads {
 public:
  ReadsAtFinish(DirectoryStore& store, std::vector<std::string> dns) : store_(store), dns_(std::move(dns)) {}
  void finish(std::vector<EntryRead>& reads) override { store_.readEntries(dns_, reads); }

 private:
  DirectoryStore& store_;
  std::vector<std::string> dns_;
};

}  // namespace

std::unique_ptr<PendingReads> DirectoryStore::startReadEntries(std::vector<std::string> dns) {
  return std::make_unique<ReadsAtFinish>(*this, std::move(dns));
}

HRESULT DirectoryStore::listChildren(std::string_view dn, const std::vector<std::string>& classes, uint32_t pageSize,
                                     std::unique_ptr<SearchCursor>& cursor) {
  // The way ADSI's LDAP provider enumerates a container: a one-level search
  // for the classes of the container's filter.
  SearchRequest request;
  request.baseDn = std::string(dn);
  request.scope = SearchScope::OneLevel;
  request.pageSize = pageSize;
  if (classes.empty()) {
    request.filter = "(objectClass=*)";
  } else {
    request.filter = "(|";
    for (const std::string& c : classes) {
      if (!isClassName(c)) return E_ADS_INVALID_FILTER;
      request.filter += "(objectClass=" + c + ")";
    }
    request.filter += ")";
  }
  return search(request, cursor);
}

}  // namespace adsi
