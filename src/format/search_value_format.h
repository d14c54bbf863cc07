// The text of one search column's first value. Never raises: a value that
// cannot be formatted gives "NULL".
#ifndef QUARLIX_FORMAT_SEARCH_VALUE_FORMAT_H
#define QUARLIX_FORMAT_SEARCH_VALUE_FORMAT_H

#include <string>

#include "platform/platform.h"

std::string formatSearchValue(const ADS_SEARCH_COLUMN& column) noexcept;

// The column's type code as the provider sent it.
DWORD typeCode(const ADS_SEARCH_COLUMN& column);

// Types whose search values travel in binary columns.
bool isBinarySearchType(DWORD adsType);

#endif
