// The field-name list: every comma-separated piece becomes one result column,
// taken literally; "*" alone leaves the columns to the operation that runs.
#include "entry/request.h"
#include "params/parameter_texts.h"
#include "platform/text_conversion.h"

bool Request::parseFieldNames() {
  table.clearColumns();
  if (fieldNames.empty()) {
    errorText = texts::kEmptyFieldNames;
    return false;
  }
  if (fieldNames == "*") return true;

  // A comma is never the second byte of a double-byte character in any ANSI
  // code page, so a byte search finds exactly the separators.
  std::string rest = fieldNames;
  for (;;) {
    const size_t comma = rest.find(',');
    const std::string piece = comma == std::string::npos ? rest : rest.substr(0, comma);
    table.addColumn(ColumnInfo(piece, toWide(piece)));
    if (comma == std::string::npos) break;
    rest.erase(0, comma + 1);
  }
  return true;
}
