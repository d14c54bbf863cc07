// One directory object as one row: every column's property read from the
// object, and, when the caller asked for all fields, the columns made from
// the first object's property cache.
#include "directory/dir_object.h"
#include "entry/request.h"
#include "errors/guarded.h"
#include "platform/text_conversion.h"

bool Request::fillPropertyRow(DirObject& object, bool reloadFirst) {
  return guarded(errorText, [&] {
    table.clearCurrentRow();
    if (table.columns.empty()) {
      const bool loaded = !reloadFirst || object.loadProperties();
      UniqueBstr name;
      while (loaded && object.nextPropertyName(name))
        table.addColumn(ResultTable::columnFromWideName(name.get(), name.length()));
    }
    for (size_t k = 0; k < table.columns.size(); ++k) {
      UniqueBstr text;
      if (object.readProperty(table.columns[k].wideName.get(), text)) {
        ResultTable::appendCell(table.currentRow, toNarrow(text));
        // Widths count UTF-16 code units, measured before the conversion.
        table.widenColumn(k, text.length());
      } else {
        ResultTable::appendCell(table.currentRow, kNullCell);
        table.widenColumn(k, kNullCell.size());
      }
    }
    return true;
  });
}
