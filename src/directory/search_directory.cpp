// The directory search: one paged search below the object the path names,
// one row per result and one cell per column. The columns are the listed
// fields or, for "*", the attributes of the first result.
#include <optional>
#include <string>
#include <vector>

#include "entry/request.h"
#include "errors/guarded.h"
#include "format/search_value_format.h"
#include "platform/com_ptr.h"
#include "platform/search_holders.h"
#include "platform/text_conversion.h"

namespace {

constexpr DWORD kPageSize = 100;
constexpr DWORD kAllAttributes = 0xFFFFFFFF;

// The attribute names asked of the directory, converted once per search and
// handed to it as a plain pointer list.
class AttributeNames {
 public:
  void add(UniqueBstr name) {
    names_.push_back(std::move(name));
    pointers_.push_back(names_.back().get());
  }
  size_t size() const { return names_.size(); }
  LPWSTR operator[](size_t index) const { return pointers_.at(index); }
  LPWSTR* pointers() { return pointers_.data(); }

 private:
  std::vector<UniqueBstr> names_;
  std::vector<LPWSTR> pointers_;
};

// Only success and the end status may continue a loop; anything else ends
// the search as a failure, so a misbehaving directory cannot keep it turning.
bool advance(HRESULT result, HRESULT endStatus) {
  if (result == endStatus) return false;
  raiseOnFailure(result);
  return true;
}

}  // namespace

bool Request::searchDirectory() {
  return guarded(errorText, [&] {
    UniqueBstr widePath = toWide(adsPath);
    AttributeNames attributes;
    for (const ColumnInfo& column : table.columns) attributes.add(UniqueBstr::copyOf(column.wideName.get()));
    const bool allAttributes = table.columns.empty();

    ComPtr<IDirectorySearch> search;
    raiseOnFailure(ADsGetObject(widePath.get(), IID_IDirectorySearch, search.putVoid()));
    widePath.reset();
    if (!search) throw FailureCode{E_POINTER};
    UniqueBstr wideFilter = toWide(filter);

    ADS_SEARCHPREF_INFO pageSize{};
    pageSize.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    pageSize.vValue.dwType = ADSTYPE_INTEGER;
    pageSize.vValue.Integer = kPageSize;
    raiseOnFailure(search->SetSearchPreference(&pageSize, 1));

    SearchHandle handle(search.get());
    raiseOnFailure(search->ExecuteSearch(wideFilter.get(), allAttributes ? nullptr : attributes.pointers(),
                                         allAttributes ? kAllAttributes : static_cast<DWORD>(attributes.size()),
                                         handle.put()));

    Row searchRow;
    // All rows are read before a column is described: a column is binary
    // when any result's value for it is of a binary type.
    auto buildCell = [&](size_t j) {
      SearchColumn column(search.get());
      // A column that cannot be read is an attribute this result does not
      // carry; a value that cannot be formatted is absent too.
      std::optional<std::string> cell;
      if (column.read(handle.get(), attributes[j]) >= 0) {
        cell = formatSearchValue(column.get());
        if (isBinarySearchType(typeCode(column.get()))) table.setColumnBinary(j, true);
      }
      if (cell) {
        ResultTable::appendCell(searchRow, *cell);
        table.widenColumn(j, cell->size());
      } else {
        ResultTable::appendAbsentCell(searchRow);
        table.widenColumn(j, kAbsentCellWidth);
      }
    };

    if (advance(search->GetNextRow(handle.get()), S_ADS_NOMORE_ROWS)) {
      if (allAttributes) {
        for (size_t j = 0;; ++j) {
          AdsMemoryName name;
          if (!advance(search->GetNextColumnName(handle.get(), name.put()), S_ADS_NOMORE_COLUMNS)) break;
          const size_t length = wideLength(name.get());
          table.addColumn(ResultTable::columnFromWideName(name.get(), length));
          attributes.add(UniqueBstr::copyOf(name.get(), length));
          buildCell(j);
        }
      } else {
        for (size_t j = 0; j < attributes.size(); ++j) buildCell(j);
      }
      if (!searchRow.empty()) table.commitRow(searchRow);
    }

    if (!table.rows.empty()) {
      while (advance(search->GetNextRow(handle.get()), S_ADS_NOMORE_ROWS)) {
        searchRow.clear();
        for (size_t j = 0; j < attributes.size(); ++j) buildCell(j);
        table.commitRow(searchRow);
      }
    }
    handle.close();
    return true;
  });
}
