#include "platform/host.h"
#include "result/result_table.h"

namespace {

int columnType(const ColumnInfo& column) {
  const bool wide = column.maxLength >= 256;
  if (column.binary) return wide ? SRVBIGVARBINARY : SRVVARBINARY;
  return wide ? SRVBIGVARCHAR : SRVVARCHAR;
}

// Only a cell of exactly these four bytes is sent as NULL: a binary value
// that merely begins with "NULL" and a zero byte is data, not the sentinel.
bool isNullCell(std::string_view cell) { return cell == kNullCell; }

}  // namespace

void deliverTable(const Host& host, const ResultTable& table) {
  for (size_t k = 0; k < table.columns.size(); ++k) {
    const ColumnInfo& column = table.columns[k];
    host.describeColumn(static_cast<int>(k + 1), column.name.c_str(), columnType(column),
                        column.maxLength);
  }
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const size_t cells = table.rows.cellCount(r);
    for (size_t j = 0; j < cells; ++j) {
      const std::string_view cell = table.rows.cell(r, j);
      host.bindCell(static_cast<int>(j + 1), cell,
                    isNullCell(cell) ? 0 : static_cast<int>(cell.size()));
    }
    host.sendRow();
  }
  host.sendDone(SRV_DONE_MORE | SRV_DONE_COUNT, static_cast<int32_t>(table.rows.size()));
}
