// A directory object opened for the walk over its children.
#pragma once

#include "directory/dir_object.h"

class ContainerObject : public DirObject {
 public:
  // Opens the object, looks for its container interface and asks for pages
  // of 100 children. Neither step stops construction.
  explicit ContainerObject(UniqueBstr path);
  ~ContainerObject() override;

  void setPageSize(LONG size);
  // Starts the walk; a non-empty class name restricts it to that class.
  bool startEnumeration(const WCHAR* classFilter);
  bool next() { return stepEnumeration(enumerator.get(), current); }
  bool attachCurrent() { return attachElement(current.get()); }

  UniqueVariant current;
  ComPtr<IADsContainer> container;
  // What kept the walk from starting (the filter or the enumerator refused).
  BodyFailure startFailure;
  ComPtr<IEnumVARIANT> enumerator;
};
