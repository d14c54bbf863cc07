// The text of one property-cache value. Never fails on a value: a value
// whose type or content cannot be read becomes the text "NULL" and the
// result is false (the value is unreadable); a getter that fails leaves an
// empty text. Only running out of memory while producing the output raises.
#ifndef QUARLIX_FORMAT_PROPERTY_VALUE_FORMAT_H
#define QUARLIX_FORMAT_PROPERTY_VALUE_FORMAT_H

#include "platform/platform.h"
#include "platform/unique_bstr.h"

bool formatPropertyValue(IADsPropertyValue* value, UniqueBstr& output);

#endif
