// Raw LDAP values read as ADSI's typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "iads.h"
#include "text.h"

namespace adsi {

// One value in the form ADSVALUE and IADsPropertyValue hand out. Which
// members are set depends on `type`.
struct TypedValue {
  ADSTYPE type = ADSTYPE_INVALID;
  WideString text;     // strings; the string part of DN-with-string
  WideString dn;       // the DN part of DN-with-binary / DN-with-string
  std::string bytes;   // octet strings, security descriptors, DN-with-binary data
  int64_t number = 0;  // Boolean (0/1), integer (32 bits), large integer
  SYSTEMTIME time{};   // UTC
};

// Converts a raw value; false when it is not a valid value of the type (ADSI
// then reports E_ADS_CANT_CONVERT_DATATYPE).
bool convertValue(ADSTYPE type, std::string_view raw, TypedValue& out);

// Whether every raw value is a valid value of the type, its text (strings)
// or its bytes (octet strings, security descriptors, provider-specific data)
// as they are: a reader may take it straight from the raw value.
bool takenAsIs(ADSTYPE type);

// Generalized Time ("20110301140509.250Z", with an optional offset) or UTC
// Time ("110301140509Z"), in UTC.
bool parseDirectoryTime(std::string_view raw, SYSTEMTIME& out);

// Seconds since 1970 of a UTC time (for ordering).
int64_t secondsSinceEpoch(const SYSTEMTIME& t);

bool parseInteger(std::string_view raw, int64_t& out);

// The type an attribute's values are read as: the schema's, except that an
// integer attribute with a value outside 32 bits (an RFC 4517 INTEGER has no
// bound) is a large integer. Both stores type their entries with it.
ADSTYPE typeOfValues(ADSTYPE declared, const std::vector<std::string>& values);

}  // namespace adsi
