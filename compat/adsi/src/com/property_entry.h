// IADsPropertyEntry: one property of the cache, its values as
// IADsPropertyValue objects.
#pragma once

#include <memory>

#include "com/com_object.h"
#include "iads.h"
#include "store/directory_entry.h"

namespace adsi {

class PropertyEntry final : public ComObject<IADsPropertyEntry> {
 public:
  // `attribute` shares the ownership of the cache it is part of.
  static PropertyEntry* create(std::shared_ptr<const Attribute> attribute) {
    return new PropertyEntry(std::move(attribute));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
  HRESULT STDMETHODCALLTYPE get_ADsType(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_ADsType(LONG type) override;
  HRESULT STDMETHODCALLTYPE get_ControlCode(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE put_ControlCode(LONG code) override;
  HRESULT STDMETHODCALLTYPE get_Values(VARIANT* retval) override;
  HRESULT STDMETHODCALLTYPE put_Values(VARIANT values) override;

 private:
  explicit PropertyEntry(std::shared_ptr<const Attribute> attribute) : attribute_(std::move(attribute)) {}
  std::shared_ptr<const Attribute> attribute_;
};

}  // namespace adsi
