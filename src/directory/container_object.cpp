#include "directory/container_object.h"

#include "errors/guarded.h"
#include "platform/text_conversion.h"
#include "platform/query_interface.h"

namespace {
constexpr LONG kChildPageSize = 100;
}

ContainerObject::ContainerObject(UniqueBstr path) : DirObject(std::move(path)) {
  if (adsObject) getInterface(IID_IADsContainer, container.putVoid());
  if (container) setPageSize(kChildPageSize);
}

ContainerObject::~ContainerObject() {
  container.reset();
  enumerator.reset();
  current.clear();
}

void ContainerObject::setPageSize(LONG size) {
  guarded(errorText, [&] {
    UniqueVariant pageSize;
    pageSize.get().vt = VT_I4;
    pageSize.get().lVal = size;
    ComPtr<IADsObjectOptions> options;
    queryInterface(container, IID_IADsObjectOptions, options);
    raiseOnFailure(options->SetOption(ADS_OPTION_PAGE_SIZE, pageSize.get()));
    return true;
  });
}

bool ContainerObject::startEnumeration(const WCHAR* classFilter) {
  return guardedNoting(errorText, startFailure, [&] {
    UniqueVariant filterList;
    UniqueBstr filterText = UniqueBstr::copyOf(classFilter, wideLength(classFilter));
    if (!container) throw FailureCode{E_NOINTERFACE};
    if (filterText.length() > 0) {
      LPWSTR names[1] = {filterText.get()};
      raiseOnFailure(ADsBuildVarArrayStr(names, 1, filterList.put()));
      raiseOnFailure(container->put_Filter(filterList.get()));
    }
    enumerator.reset();
    ComPtr<IUnknown> enumeration;
    raiseOnFailure(container->get__NewEnum(enumeration.put()));
    if (!enumeration) throw FailureCode{E_POINTER};
    queryInterface(enumeration, IID_IEnumVARIANT, enumerator);
    return true;
  });
}
