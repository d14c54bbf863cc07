#include "store/directory_entry.h"

#include "schema/value_convert.h"
#include "store/dn.h"

#include "text.h"

namespace adsi {

const Attribute* DirectoryEntry::find(std::string_view name) const {
  for (const Attribute& a : attributes)
    if (equalsIgnoreCase(a.name, name)) return &a;
  return nullptr;
}

void settleAttribute(Attribute& attribute) {
  attribute.type = typeOfValues(attribute.type, attribute.values);
  if (attribute.type == ADSTYPE_DN_STRING)
    for (std::string& value : attribute.values) value = showDn(value);
}

}  // namespace adsi
