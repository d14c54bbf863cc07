#include "platform/host.h"
#include "result/result_table.h"

namespace {

// The host takes character and binary columns up to 8000 bytes wide; a
// wider column goes as text or image, so that its cells go whole.
constexpr int32_t kMaxShortWidth = 255;
constexpr int32_t kMaxLongWidth = 8000;

int columnType(const ColumnInfo& column) {
  if (column.maxLength > kMaxLongWidth) return column.binary ? SRVIMAGE : SRVTEXT;
  if (column.maxLength > kMaxShortWidth) return column.binary ? SRVBIGVARBINARY : SRVBIGVARCHAR;
  return column.binary ? SRVVARBINARY : SRVVARCHAR;
}

}  // namespace

void deliverTable(const Host& host, const ResultTable& table) {
  for (size_t k = 0; k < table.columns.size(); ++k) {
    const ColumnInfo& column = table.columns[k];
    host.describeColumn(static_cast<int>(k + 1), column.name.c_str(), columnType(column), column.maxLength);
  }
  for (size_t r = 0; r < table.rows.size(); ++r) {
    RowList::Reader cells(table.rows, r);
    std::string_view cell;
    bool absent = false;
    // Length 0 sends SQL NULL: an absent cell, and (as the host has no other
    // way) an empty text.
    for (int column = 1; cells.next(cell, absent); ++column)
      host.bindCell(column, cell, absent ? 0 : static_cast<int>(cell.size()));
    host.sendRow();
  }
  host.sendDone(SRV_DONE_MORE | SRV_DONE_COUNT, static_cast<int32_t>(table.rows.size()));
}
