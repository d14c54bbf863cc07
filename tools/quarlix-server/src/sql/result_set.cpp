#include "sql/result_set.h"

#include "tds/tds_constants.h"

#include <algorithm>

namespace sql {

namespace {

constexpr std::uint32_t kLongestText = 8000;

tds::ColumnDescription columnOf(const NamedValue& named, const tds::Collation& collation) {
  const Value& v = named.value;
  tds::ColumnDescription column;
  column.name = named.name;
  column.collation = collation;
  switch (v.type) {
    case Value::Type::Int:
      column.wireType = tds::kTypeIntN;
      column.maxLength = v.width;
      break;
    case Value::Type::Numeric:
      column.wireType = tds::kTypeNumericN;
      column.maxLength = 17;  // sign and 16 bytes: precision 38
      column.precision = 38;
      column.scale = 0;
      break;
    case Value::Type::VarChar:
    case Value::Type::NVarChar: {
      column.wireType = v.type == Value::Type::VarChar ? tds::kTypeBigVarChar : tds::kTypeNVarChar;
      const size_t own = v.bytes ? std::min<size_t>(v.bytes->size(), kLongestText) : 0;
      column.maxLength =
          v.maxLength ? v.maxLength
                      : static_cast<std::uint32_t>(std::max<size_t>(own, v.type == Value::Type::NVarChar ? 2 : 1));
      break;
    }
    case Value::Type::Variant: column.wireType = tds::kTypeVariant; break;
  }
  return column;
}

// The cell's payload as its column's type carries it.
std::string payloadOf(const Value& v, const tds::Collation& collation) {
  std::string out;
  auto little = [&out](std::uint64_t n, int width) {
    for (int i = 0; i < width; ++i) out += static_cast<char>(n >> (8 * i));
  };
  if (v.isNull()) return out;
  switch (v.type) {
    case Value::Type::Int: little(static_cast<std::uint64_t>(*v.number), v.width); break;
    case Value::Type::Numeric:
      out += static_cast<char>(*v.number < 0 ? 0 : 1);
      little(static_cast<std::uint64_t>(*v.number < 0 ? -*v.number : *v.number), 8);
      little(0, 8);
      break;
    case Value::Type::VarChar:
    case Value::Type::NVarChar: out = v.bytes->substr(0, kLongestText); break;
    case Value::Type::Variant:
      if (v.variantText) {
        out += static_cast<char>(tds::kTypeNVarChar);
        out += static_cast<char>(7);  // properties: collation and length
        out.append(reinterpret_cast<const char*>(collation.data()), collation.size());
        little(256, 2);  // nvarchar(128)
        out += v.bytes->substr(0, kLongestText);
      } else {
        out += static_cast<char>(tds::kTypeInt4);
        out += '\0';  // no properties
        little(static_cast<std::uint32_t>(*v.number), 4);
      }
      break;
  }
  return out;
}

}  // namespace

void writeConstants(tds::AnswerWriter& writer, const tds::Collation& collation, const std::vector<NamedValue>& values,
                    bool columnsOnly) {
  std::vector<tds::ColumnDescription> columns;
  std::vector<std::string> payloads;
  std::vector<tds::Cell> cells;
  for (const NamedValue& named : values) {
    columns.push_back(columnOf(named, collation));
    payloads.push_back(payloadOf(named.value, collation));
  }
  writer.columns(columns);
  if (columnsOnly) return;
  for (size_t i = 0; i < values.size(); ++i)
    cells.push_back(tds::Cell{reinterpret_cast<const BYTE*>(payloads[i].data()), static_cast<int>(payloads[i].size()),
                              values[i].value.isNull() ? 1 : 0});
  writer.row(columns, cells.data(), static_cast<int>(cells.size()));
}

}  // namespace sql
