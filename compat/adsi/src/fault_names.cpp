#include "fault_names.h"

#include <algorithm>

#include "com/com_object.h"

namespace adsi::faults {
namespace {

const char* const kOperations[] = {
    "ADsGetObject",
    "IADs::GetInfo",
    "IADs::get_Name",
    "IADs::get_Class",
    "IADs::get_GUID",
    "IADs::get_ADsPath",
    "IADs::get_Parent",
    "IADs::get_Schema",
    "IADsObjectOptions::SetOption",
    "IADsContainer::put_Filter",
    "IADsContainer::get__NewEnum",
    "IADsGroup::Members",
    "IADsMembers::get__NewEnum",
    "IEnumVARIANT::Next",
    "IADsPropertyList::Next",
    "IADsPropertyList::GetPropertyItem",
    "IADsPropertyEntry::get_Name",
    "IADsPropertyEntry::get_ADsType",
    "IADsPropertyEntry::get_Values",
    "IADsPropertyValue::get_ADsType",
    "IADsPropertyValue::get_DNString",
    "IADsPropertyValue::get_CaseExactString",
    "IADsPropertyValue::get_CaseIgnoreString",
    "IADsPropertyValue::get_PrintableString",
    "IADsPropertyValue::get_NumericString",
    "IADsPropertyValue::get_Boolean",
    "IADsPropertyValue::get_Integer",
    "IADsPropertyValue::get_OctetString",
    "IADsPropertyValue::get_LargeInteger",
    "IADsPropertyValue::get_UTCTime",
    "IDirectorySearch::SetSearchPreference",
    "IDirectorySearch::ExecuteSearch",
    "IDirectorySearch::GetNextRow",
    "IDirectorySearch::GetNextColumnName",
    "IDirectorySearch::GetColumn",
    "IDirectorySearch::CloseSearchHandle",
    // Odd values: the operation works but hands out an unusual value.
    "IEnumVARIANT::Next:notDispatch",
    "IADsPropertyEntry::get_Values:notArray",
    "IADsPropertyEntry::get_Values:oddElement",
};

// The objects whose QueryInterface can be made to fail, by main interface.
const char* const kQueriedObjects[] = {
    "IADs", "IADsMembers", "IEnumVARIANT", "IADsPropertyEntry", "IADsPropertyValue", "IADsLargeInteger"};

std::vector<std::string> listOperations() {
  std::vector<std::string> names(std::begin(kOperations), std::end(kOperations));
  for (const char* object : kQueriedObjects)
    for (const char* iid : interfaceNames()) names.push_back(std::string(object) + "::QueryInterface(" + iid + ")");
  return names;
}

}  // namespace

const std::vector<std::string>& knownOperations() {
  static const std::vector<std::string> names = listOperations();
  return names;
}

bool isKnownOperation(const std::string& name) {
  const std::vector<std::string>& names = knownOperations();
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace adsi::faults
