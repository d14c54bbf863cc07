// The text of one property-cache value. Never fails on a value: a value
// whose type or content cannot be read becomes the text "NULL" and the
// result is false (the value is unreadable); a getter that fails leaves an
// empty text. Only running out of memory while producing the output raises.
#pragma once

#include "platform/platform.h"
#include "platform/unique_bstr.h"

bool formatPropertyValue(IADsPropertyValue* value, UniqueBstr& output);
