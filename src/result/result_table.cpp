#include "result/result_table.h"

#include <climits>

#include "platform/text_conversion.h"

ColumnInfo ResultTable::columnFromWideName(const WCHAR* name, size_t length) {
  return ColumnInfo(toNarrow(name, length), UniqueBstr::copyOf(name, length));
}

void ResultTable::widenColumn(size_t column, size_t length) {
  ColumnInfo& info = columns[column];
  const int32_t width = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
  if (info.maxLength < width) info.maxLength = width;
}
