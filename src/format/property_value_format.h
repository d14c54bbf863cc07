// The text of one property-cache value. Never fails on a value: what cannot
// be read becomes "NULL" or an empty text. Only running out of memory while
// producing the output raises.
#ifndef QUARLIX_FORMAT_PROPERTY_VALUE_FORMAT_H
#define QUARLIX_FORMAT_PROPERTY_VALUE_FORMAT_H

#include "platform/platform.h"
#include "platform/unique_bstr.h"

void formatPropertyValue(IADsPropertyValue* value, UniqueBstr& output);

#endif
