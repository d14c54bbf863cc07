// The member and child listings: each element of the walk in turn becomes
// the wrapped object and gives one row. Elements that cannot be read are
// left out without a message.
#include "directory/container_object.h"
#include "directory/group_object.h"
#include "entry/request.h"
#include "errors/guarded.h"
#include "platform/text_conversion.h"

template <class Walker>
void Request::commitEachElement(Walker& walker, bool reloadFirst) {
  while (walker.next()) {
    if (!walker.attachCurrent()) continue;
    if (fillPropertyRow(walker, reloadFirst)) table.commitRow(table.currentRow);
  }
}

bool Request::listGroupMembers(GroupObject& group) {
  return guarded(errorText, [&] {
    if (!group.startMemberEnumeration()) return false;
    // The first member that makes the columns has its properties loaded
    // afresh before its names are read.
    commitEachElement(group, true);
    return true;
  });
}

bool Request::listChildObjects(ContainerObject& container) {
  return guarded(errorText, [&] {
    UniqueBstr classFilter = filter.empty() ? UniqueBstr::empty() : toWide(filter);
    // When the walk cannot start, the listing is simply empty.
    container.startEnumeration(classFilter.get());
    commitEachElement(container, false);
    return true;
  });
}
