// What every COM object of the stand-in shares: an atomic reference count,
// the live-object count that leak tests read, and IDispatch, which ADSI's
// objects declare but the procedure never calls (E_NOTIMPL).
#pragma once

#include <atomic>
#include <type_traits>
#include <vector>

#include "windows.h"

namespace adsi {

long liveObjects();

namespace detail {
extern std::atomic<long> g_liveObjects;
}

template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { ++detail::g_liveObjects; }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
  }

 protected:
  virtual ~ComObject() { --detail::g_liveObjects; }

 private:
  std::atomic<ULONG> refs_{1};
};

// The common road of QueryInterface: honours an injected
// "<object>::QueryInterface(<interface>)" fault, then hands out `answer` (null:
// E_NOINTERFACE) with a reference added.
HRESULT answerQuery(const char* object, REFIID riid, void** ppv, IUnknown* answer);

// QueryInterface of an object that answers IUnknown, its own interface and,
// for a dispatch interface, IDispatch.
template <class Interface>
HRESULT answerOwnQuery(Interface* self, const char* object, REFIID own, REFIID riid, void** ppv) {
  bool answers = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, own) ||
                 (std::is_base_of<IDispatch, Interface>::value && IsEqualIID(riid, IID_IDispatch));
  return answerQuery(object, riid, ppv, answers ? self : nullptr);
}

// The published name of an interface identifier ("IADs"), for fault names.
const char* interfaceName(REFIID riid);
// Every interface interfaceName knows, by name.
std::vector<const char*> interfaceNames();

}  // namespace adsi
