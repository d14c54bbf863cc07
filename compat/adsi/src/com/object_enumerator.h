// IEnumVARIANT over directory objects (a container's children, a group's
// members): each element is a VT_DISPATCH of the object's IADs, fetched from
// its source a page at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "com/bind_context.h"
#include "com/com_object.h"

namespace adsi {

// An element as its source read it: with all its attributes, so that the
// object's first GetInfo needs no read of its own.
struct EnumElement {
  std::string dn;
  EntryPtr entry;       // null when the name could not be read:
  HRESULT read = S_OK;  // why (no such object, access denied ...)
};

class ElementSource {
 public:
  virtual ~ElementSource() = default;
  // S_OK with elements, S_FALSE at the end, or a failure.
  virtual HRESULT nextPage(std::vector<EnumElement>& page) = 0;
};

// Makes a source positioned before the first element (again, for Reset).
using SourceFactory = std::function<HRESULT(std::unique_ptr<ElementSource>&)>;

// The children a store's cursor finds.
std::unique_ptr<ElementSource> cursorSource(std::unique_ptr<SearchCursor> cursor);
// Named objects, read from the store a batch at a time, or with a listing
// of a container that holds many of them (name_list_source.cpp). A name that
// does not resolve, or may not be read, gives an element without an entry; a
// read that fails for any other reason (the server gone or silent) fails the
// walk.
std::unique_ptr<ElementSource> nameListSource(std::shared_ptr<DirectoryStore> store,
                                              std::shared_ptr<const std::vector<std::string>> dns);

class ObjectEnumerator final : public ComObject<IEnumVARIANT> {
 public:
  static HRESULT create(const BindContext& context, SourceFactory factory, IEnumVARIANT** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* elements, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

 private:
  ObjectEnumerator(const BindContext& context, SourceFactory factory)
      : context_(context), factory_(std::move(factory)) {}
  // S_OK with the next element, S_FALSE at the end, or a failure.
  HRESULT take(EnumElement& element);

  BindContext context_;
  SourceFactory factory_;
  std::unique_ptr<ElementSource> source_;
  std::vector<EnumElement> page_;
  size_t next_ = 0;
  bool ended_ = false;
};

}  // namespace adsi
