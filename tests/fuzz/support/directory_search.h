// One IDirectorySearch search, read the way a client reads it: every row,
// and in each row the columns asked for (all of them with none asked).
#pragma once

#include <string>
#include <vector>

#include "activeds.h"

struct SearchOutcome {
  HRESULT result = E_FAIL;         // of the first call that failed, else S_OK
  std::vector<std::string> paths;  // ADsPath of every row, in order
  long columnsRead = 0;
};

// Runs `filter` with `scope` and `pageSize` (0: none set) on `search`;
// reads the ADsPath column and, when `allColumns`, every column of every
// row, at most `rowLimit` rows.
SearchOutcome runSearch(IDirectorySearch* search, LPCWSTR filter, int scope, int pageSize, bool allColumns,
                        size_t rowLimit);
