#include "com/members.h"

#include "com/object_enumerator.h"
#include "faults.h"

namespace adsi {

HRESULT Members::QueryInterface(REFIID riid, void** ppv) {
  return answerOwnQuery<IADsMembers>(this, "IADsMembers", IID_IADsMembers, riid, ppv);
}

HRESULT Members::get_Count(LONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<LONG>(dns_->size());
  return S_OK;
}

HRESULT Members::get__NewEnum(IUnknown** enumerator) {
  if (auto fault = faults::check("IADsMembers::get__NewEnum")) return *fault;
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  std::shared_ptr<DirectoryStore> store = context_.store;
  std::shared_ptr<const std::vector<std::string>> dns = dns_;
  IEnumVARIANT* result = nullptr;
  HRESULT hr = ObjectEnumerator::create(
      context_,
      [store, dns](std::unique_ptr<ElementSource>& source) {
        source = nameListSource(store, dns);
        return S_OK;
      },
      &result);
  *enumerator = result;
  return hr;
}

// Members are not filtered by class here.
HRESULT Members::get_Filter(VARIANT* filter) {
  if (filter) VariantInit(filter);
  return E_NOTIMPL;
}
HRESULT Members::put_Filter(VARIANT) { return E_NOTIMPL; }

}  // namespace adsi
