// The text of one search column's first value. Never raises: a column
// without values, or a value that cannot be formatted, gives no text (the
// cell is SQL NULL).
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

std::optional<std::string> formatSearchValue(const ADS_SEARCH_COLUMN& column) noexcept;

// The column's type code as the provider sent it.
DWORD typeCode(const ADS_SEARCH_COLUMN& column);

// Types whose search values travel in binary columns.
bool isBinarySearchType(DWORD adsType);
