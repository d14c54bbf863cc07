#include "directory/group_object.h"

#include "errors/guarded.h"
#include "platform/query_interface.h"

GroupObject::~GroupObject() {
  enumerator.reset();
  current.clear();
}

bool GroupObject::startMemberEnumeration() {
  return guarded(errorText, [&] {
    enumerator.reset();
    ComPtr<IADsGroup> group;
    if (!getInterface(IID_IADsGroup, group.putVoid())) throw ErrorText{"Can not get IADsGroup."};
    ComPtr<IADsMembers> members;
    raiseOnFailure(group->Members(members.put()));
    if (!members) throw FailureCode{E_POINTER};
    ComPtr<IUnknown> enumeration;
    raiseOnFailure(members->get__NewEnum(enumeration.put()));
    if (!enumeration) throw FailureCode{E_POINTER};
    queryInterface(enumeration, IID_IEnumVARIANT, enumerator);
    return true;
  });
}
