// The member and child listings: each element of the walk in turn becomes
// the wrapped object and gives one row. An element that does not exist, may
// not be read or is not a directory object is left out without a message;
// any other failure to read an element, a walk that cannot be started and a
// step of the walk that fails, fail the whole listing with that failure's description: a walk the server
// broke off is never passed off as the whole answer.
#include "directory/container_object.h"
#include "directory/group_object.h"
#include "entry/request.h"
#include "errors/guarded.h"
#include "platform/text_conversion.h"

namespace {

constexpr HRESULT kNoSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT kInsufficientRights = static_cast<HRESULT>(0x8007200A);

// Failures that concern the element alone.
bool leavesElementOut(const BodyFailure& failure) {
  if (failure.other) return false;
  switch (failure.code) {
    case kNoSuchObject:
    case E_ADS_UNKNOWN_OBJECT:
    case E_ACCESSDENIED:
    case kInsufficientRights:
    case E_NOINTERFACE:
    case DISP_E_TYPEMISMATCH: return true;
    default: return false;
  }
}

// The end of a walk comes as S_FALSE (or a step that fetches nothing).
bool endedTheWalk(const BodyFailure& failure) {
  return !failure.other && (failure.code == S_OK || failure.code == S_FALSE);
}

// The walk's own failure is the whole of the wrapper's text: what the
// wrapper noted of elements left out before is not part of it.
bool failWalk(DirObject& walker, const BodyFailure& failure) {
  if (!failure.other) {
    walker.errorText.clear();
    handleFailureCode(walker.errorText, failure.code);
  }
  return false;
}

}  // namespace

template <class Walker>
bool Request::commitEachElement(Walker& walker, bool reloadFirst) {
  while (walker.next()) {
    if (!walker.attachCurrent()) {
      if (leavesElementOut(walker.readFailure)) continue;
      return failWalk(walker, walker.readFailure);
    }
    if (fillPropertyRow(walker, reloadFirst)) table.commitRow(table.currentRow);
  }
  if (!endedTheWalk(walker.stepFailure)) return failWalk(walker, walker.stepFailure);
  return true;
}

bool Request::listGroupMembers(GroupObject& group) {
  return guarded(errorText, [&] {
    if (!group.startMemberEnumeration()) return false;
    // The first member that makes the columns has its properties loaded
    // afresh before its names are read.
    return commitEachElement(group, true);
  });
}

bool Request::listChildObjects(ContainerObject& container) {
  return guarded(errorText, [&] {
    UniqueBstr classFilter = filter.empty() ? UniqueBstr::empty() : toWide(filter);
    // An object that is not a container has no children to list; a walk
    // the directory would not start (server gone, filter refused) fails.
    if (!container.startEnumeration(classFilter.get()))
      return !container.container || failWalk(container, container.startFailure);
    return commitEachElement(container, false);
  });
}
