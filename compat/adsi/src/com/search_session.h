// One executed search of IDirectorySearch (what an ADS_SEARCH_HANDLE names):
// the store's cursor, the page being read, the current row and its columns.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com/bind_context.h"
#include "iads.h"

namespace adsi {

class SearchSession {
 public:
  // `names`: the attributes asked for, in request order ("ADsPath" among
  // them, if asked), or empty with `allAttributes`.
  SearchSession(const BindContext& context, SearchRequest request, std::unique_ptr<SearchCursor> cursor,
                std::vector<std::string> names);
  ~SearchSession();

  HRESULT nextRow();  // S_OK, S_ADS_NOMORE_ROWS or a failure
  HRESULT restart();  // back before the first row (GetFirstRow)
  void abandon();
  HRESULT nextColumnName(LPWSTR* name);
  HRESULT getColumn(const std::string& name, ADS_SEARCH_COLUMN* column);

 private:
  BindContext context_;
  SearchRequest request_;
  std::unique_ptr<SearchCursor> cursor_;
  std::vector<std::string> names_;
  std::vector<EntryPtr> page_;
  size_t nextInPage_ = 0;
  bool ended_ = false;
  EntryPtr row_;
  size_t nextColumn_ = 0;
};

// Frees what GetColumn put into a column (FreeColumn).
HRESULT freeSearchColumn(ADS_SEARCH_COLUMN* column);

}  // namespace adsi
