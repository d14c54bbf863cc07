// The answer of one call: its columns, the row under construction and the
// committed rows. Every directory operation fills it; delivery sends it.
#pragma once

#include <cstdint>
#include <string_view>

#include "result/column_info.h"
#include "result/growable_array.h"
#include "result/row.h"
#include "result/row_list.h"

class Host;

class ResultTable {
 public:
  GrowableArray<ColumnInfo> columns;
  Row currentRow;
  RowList rows;

  void clearColumns() { columns.clear(); }
  bool addColumn(const ColumnInfo& column) { return columns.append(column); }
  // A column named by a UTF-16 name: `name` converted to 8 bits, `wideName`
  // a copy, not binary, width 0.
  static ColumnInfo columnFromWideName(const WCHAR* name, size_t length);
  // Raises the column's width to `length`; never lowers it.
  void widenColumn(size_t column, size_t length);
  void setColumnBinary(size_t column, bool binary) { columns[column].binary = binary; }

  void clearCurrentRow() { currentRow.clear(); }
  static void appendCell(Row& row, std::string_view text) { row.append(text); }
  // A value the directory does not have: SQL NULL, noted as kAbsentCellWidth wide.
  static void appendAbsentCell(Row& row) { row.appendAbsent(); }
  void commitRow(const Row& row) { rows.commit(row); }
  void clearRows() { rows.clear(); }
};

// The width an absent cell asks of its column: that of the four letters
// NULL, as a client shows it.
constexpr size_t kAbsentCellWidth = 4;

// Describes every column, sends every committed row and closes the result
// set with a done that carries the row count.
void deliverTable(const Host& host, const ResultTable& table);
