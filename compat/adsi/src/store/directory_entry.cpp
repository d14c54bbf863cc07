#include "store/directory_entry.h"

#include "text.h"

namespace adsi {

const Attribute* DirectoryEntry::find(std::string_view name) const {
  for (const Attribute& a : attributes)
    if (equalsIgnoreCase(a.name, name)) return &a;
  return nullptr;
}

}  // namespace adsi
