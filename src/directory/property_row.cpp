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
        // The width counts the bytes of the cell, after the conversion.
        const std::string cell = toNarrow(text);
        ResultTable::appendCell(table.currentRow, cell);
        table.widenColumn(k, cell.size());
      } else {
        ResultTable::appendAbsentCell(table.currentRow);
        table.widenColumn(k, kAbsentCellWidth);
      }
    }
    return true;
  });
}
