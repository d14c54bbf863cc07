// IADsMembers: the members of a group, in the order of its member values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com/bind_context.h"
#include "com/com_object.h"
#include "iads.h"

namespace adsi {

class Members final : public ComObject<IADsMembers> {
 public:
  // `dns` may share the ownership of the group's property cache.
  static Members* create(const BindContext& context, std::shared_ptr<const std::vector<std::string>> dns) {
    return new Members(context, std::move(dns));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) override;
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* filter) override;
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT filter) override;

 private:
  Members(const BindContext& context, std::shared_ptr<const std::vector<std::string>> dns)
      : context_(context), dns_(std::move(dns)) {}
  BindContext context_;
  std::shared_ptr<const std::vector<std::string>> dns_;
};

}  // namespace adsi
