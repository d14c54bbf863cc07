#include "com/object_enumerator.h"

#include "com/ads_object.h"
#include "faults.h"

namespace adsi {
namespace {

class CursorSource : public ElementSource {
 public:
  explicit CursorSource(std::unique_ptr<SearchCursor> cursor) : cursor_(std::move(cursor)) {}
  HRESULT nextPage(std::vector<EnumElement>& page) override {
    page.clear();
    std::vector<EntryPtr> entries;
    HRESULT hr = cursor_->nextPage(entries);
    for (EntryPtr& e : entries) page.push_back({e->dn, std::move(e), S_OK});
    return hr;
  }

 private:
  std::unique_ptr<SearchCursor> cursor_;
};

}  // namespace

std::unique_ptr<ElementSource> cursorSource(std::unique_ptr<SearchCursor> cursor) {
  return std::make_unique<CursorSource>(std::move(cursor));
}

HRESULT ObjectEnumerator::create(const BindContext& context, SourceFactory factory, IEnumVARIANT** out) {
  *out = nullptr;
  std::unique_ptr<ElementSource> source;
  HRESULT hr = factory(source);
  if (FAILED(hr)) return hr;
  auto* enumerator = new ObjectEnumerator(context, std::move(factory));
  enumerator->source_ = std::move(source);
  *out = enumerator;
  return S_OK;
}

HRESULT ObjectEnumerator::QueryInterface(REFIID riid, void** ppv) {
  return answerOwnQuery<IEnumVARIANT>(this, "IEnumVARIANT", IID_IEnumVARIANT, riid, ppv);
}

HRESULT ObjectEnumerator::take(EnumElement& element) {
  while (next_ == page_.size()) {
    if (ended_) return S_FALSE;
    next_ = 0;
    HRESULT hr = source_->nextPage(page_);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || page_.empty()) {
      ended_ = true;
      page_.clear();
    }
  }
  element = std::move(page_[next_++]);
  return S_OK;
}

HRESULT ObjectEnumerator::Next(ULONG count, VARIANT* elements, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (auto fault = faults::check("IEnumVARIANT::Next")) return *fault;
  if (!elements || (count > 1 && !fetched)) return E_POINTER;
  ULONG done = 0;
  for (; done < count; ++done) {
    EnumElement element;
    HRESULT hr = take(element);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < done; ++i) VariantClear(&elements[i]);
      return hr;
    }
    if (hr != S_OK) break;
    VariantInit(&elements[done]);
    if (auto odd = faults::check("IEnumVARIANT::Next:notDispatch")) {
      elements[done].vt = VT_I4;
      elements[done].lVal = 0;
      if (fetched) *fetched = done + 1;
      return *odd;
    }
    AdsObject* object = AdsObject::createRead(context_, std::move(element.dn), std::move(element.entry), element.read);
    elements[done].vt = VT_DISPATCH;
    elements[done].pdispVal = static_cast<IADs*>(object);
  }
  if (fetched) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

HRESULT ObjectEnumerator::Skip(ULONG count) {
  for (ULONG i = 0; i < count; ++i) {
    EnumElement element;
    HRESULT hr = take(element);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
  }
  return S_OK;
}

HRESULT ObjectEnumerator::Reset() {
  std::unique_ptr<ElementSource> source;
  HRESULT hr = factory_(source);
  if (FAILED(hr)) return hr;
  source_ = std::move(source);
  page_.clear();
  next_ = 0;
  ended_ = false;
  return S_OK;
}

HRESULT ObjectEnumerator::Clone(IEnumVARIANT** copy) {
  if (copy) *copy = nullptr;
  return E_NOTIMPL;
}

}  // namespace adsi
