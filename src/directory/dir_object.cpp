#include "directory/dir_object.h"

#include "errors/error_text.h"
#include "errors/guarded.h"
#include "platform/query_interface.h"

DirObject::DirObject(UniqueBstr path) {
  HRESULT result = ADsGetObject(path.get(), IID_IADs, adsObject.putVoid());
  if (result == S_OK && !adsObject) result = E_POINTER;  // a success that hands back nothing
  if (result != S_OK) {
    adsObject.reset();
    formatText(errorText, "Cannot create object. HR: %X", static_cast<unsigned>(result));
  }
}

DirObject::~DirObject() {
  propertyList.reset();
  adsObject.reset();
}

bool DirObject::getInterface(REFIID iid, void** reference) {
  *reference = nullptr;
  const HRESULT result = adsObject ? adsObject->QueryInterface(iid, reference) : E_POINTER;
  if (*reference) return true;
  std::string message;
  formatText(message, "\nCan not get interface. HR: %X", static_cast<unsigned>(result));
  appendText(errorText, message);
  return false;
}

bool DirObject::loadProperties() {
  return guardedNoting(errorText, readFailure, [&] {
    propertyList.reset();
    if (!adsObject) throw FailureCode{E_POINTER};
    raiseOnFailure(adsObject->GetInfo());
    queryInterface(adsObject, IID_IADsPropertyList, propertyList);
    return true;
  });
}

bool DirObject::nextPropertyName(UniqueBstr& name) {
  return guarded(errorText, [&] {
    if (!propertyList) return false;
    UniqueVariant item;
    if (propertyList->Next(item.put()) != S_OK) return false;  // none left, or a failure
    if (item.get().vt != VT_DISPATCH || !item.get().pdispVal) throw FailureCode{DISP_E_TYPEMISMATCH};
    ComPtr<IADsPropertyEntry> entry;
    queryInterface(item.get().pdispVal, IID_IADsPropertyEntry, entry);
    raiseOnFailure(entry->get_Name(name.put()));
    return true;
  });
}

bool DirObject::attach(ComPtr<IADs> object) {
  propertyList.reset();
  adsObject = std::move(object);
  return loadProperties();
}

bool DirObject::stepEnumeration(IEnumVARIANT* enumerator, UniqueVariant& current) {
  return guardedNoting(errorText, stepFailure, [&] {
    current.clear();
    if (!enumerator) return false;  // the walk never started
    ULONG fetched = 0;
    // The end of the walk comes as S_FALSE, which is raised like any other
    // non-zero result.
    raiseOnFailure(ADsEnumerateNext(enumerator, 1, current.put(), &fetched));
    return fetched != 0;
  });
}

bool DirObject::attachElement(const VARIANT& element) {
  BodyFailure queryFailure;
  const bool attached = guardedNoting(errorText, queryFailure, [&] {
    if (element.vt != VT_DISPATCH || !element.pdispVal) throw FailureCode{DISP_E_TYPEMISMATCH};
    ComPtr<IADs> object;
    queryInterface(element.pdispVal, IID_IADs, object);
    return attach(std::move(object));  // notes the load's own failure
  });
  if (queryFailure.happened()) readFailure = queryFailure;
  return attached;
}
