// The query phase: the path, the filter and the scope choose the operation.
//
//   filter not empty and path starting "LDAP"  -> directory search
//   otherwise GET_GROUP_MEMBERS                -> the group's members
//   otherwise GET_CHILD_OBJECTS                -> the container's children
//   otherwise                                  -> the object's own properties
#include <cstring>

#include "directory/container_object.h"
#include "directory/group_object.h"
#include "entry/request.h"
#include "errors/guarded.h"
#include "platform/text_conversion.h"

namespace {

bool isSearch(const std::string& filter, const std::string& adsPath) {
  return !filter.empty() && adsPath.size() >= 4 && std::memcmp(adsPath.data(), "LDAP", 4) == 0;
}

}  // namespace

bool Request::runQuery() {
  return guarded(errorText, [&] {
    UniqueBstr widePath = toWide(adsPath);
    table.clearRows();

    // A wrapper's text replaces the request's. When a wrapper has nothing to
    // say (the failure was written to the request's own text), the request's
    // text stands, so a failed call never reports an empty message.
    auto failWith = [&](const std::string& wrapperText) -> ErrorText {
      return ErrorText{wrapperText.empty() ? errorText : wrapperText};
    };

    if (isSearch(filter, adsPath)) {
      if (!searchDirectory()) throw ErrorText{errorText};
    } else if (groupMembers) {
      GroupObject group(UniqueBstr::copyOf(widePath.get()));
      if (!group.adsObject) throw failWith(group.errorText);
      if (!listGroupMembers(group)) throw failWith(group.errorText);
    } else {
      ContainerObject object(UniqueBstr::copyOf(widePath.get()));
      if (!object.adsObject) throw failWith(object.errorText);
      if (childObjects) {
        if (!listChildObjects(object)) throw failWith(object.errorText);
      } else {
        if (!object.loadProperties()) throw failWith(object.errorText);
        if (!fillPropertyRow(object, false)) throw failWith(object.errorText);
        table.commitRow(table.currentRow);
      }
    }
    return true;
  });
}
