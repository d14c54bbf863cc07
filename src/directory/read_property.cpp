#include "directory/dir_object.h"
#include "errors/guarded.h"
#include "platform/query_interface.h"

namespace {

using Getter = HRESULT (STDMETHODCALLTYPE IADs::*)(BSTR*);

struct StandardProperty {
  const WCHAR* name;
  Getter getter;
};

// Read from the object itself, never from the property cache; compared
// without regard to case, in this order.
const StandardProperty kStandardProperties[] = {
    {QX_WIDE("Name"), &IADs::get_Name},     {QX_WIDE("AdsPath"), &IADs::get_ADsPath},
    {QX_WIDE("Class"), &IADs::get_Class},   {QX_WIDE("GUID"), &IADs::get_GUID},
    {QX_WIDE("Parent"), &IADs::get_Parent}, {QX_WIDE("Schema"), &IADs::get_Schema},
};

}  // namespace

bool DirObject::readProperty(BSTR name, UniqueBstr& text) {
  return guarded(errorText, [&] {
    for (const StandardProperty& property : kStandardProperties) {
      if (lstrcmpiW(name, property.name) != 0) continue;
      // Found even when the getter fails: the text then stays empty.
      if (adsObject) (adsObject.get()->*property.getter)(text.put());
      return true;
    }
    if (!propertyList) return false;
    UniqueVariant item;
    if (propertyList->GetPropertyItem(name, ADSTYPE_CASE_IGNORE_STRING, item.put()) != S_OK) return false;
    if (item.get().vt != VT_DISPATCH || !item.get().pdispVal) throw FailureCode{DISP_E_TYPEMISMATCH};
    ComPtr<IADsPropertyEntry> entry;
    queryInterface(item.get().pdispVal, IID_IADsPropertyEntry, entry);
    bool unreadable = false;
    return formatPropertyEntry(entry.get(), text, &unreadable) > 0 && !unreadable;
  });
}
