// A directory object opened for the walk over the members of a group.
#pragma once

#include "directory/dir_object.h"

class GroupObject : public DirObject {
 public:
  explicit GroupObject(UniqueBstr path) : DirObject(std::move(path)) {}
  ~GroupObject() override;

  // False with "Can not get IADsGroup." when the object is not a group.
  bool startMemberEnumeration();
  bool next() { return stepEnumeration(enumerator.get(), current); }
  bool attachCurrent() { return attachElement(current.get()); }

  ComPtr<IEnumVARIANT> enumerator;
  UniqueVariant current;
};
