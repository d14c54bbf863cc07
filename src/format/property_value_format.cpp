#include "format/property_value_format.h"

#include <cstdint>
#include <string>

#include "errors/error_text.h"
#include "errors/failures.h"
#include "platform/com_ptr.h"
#include "platform/safe_array_access.h"
#include "platform/text_conversion.h"
#include "platform/unique_variant.h"
#include "platform/query_interface.h"

namespace {

using WideText = std::basic_string<WCHAR>;

// The two working texts: W takes strings, the Boolean digits, dates and the
// fixed texts; A takes numbers and octet strings. One of them is filled.
struct ValueTexts {
  WideText wide;
  std::string narrow;
};

void readString(IADsPropertyValue* value, HRESULT (STDMETHODCALLTYPE IADsPropertyValue::*getter)(BSTR*),
                WideText& wide) {
  UniqueBstr text;
  if ((value->*getter)(text.put()) == S_OK && text) wide.assign(text.get(), text.length());
}

// A failure here ends the octet reading and nothing else: the bytes read so
// far stay.
void readOctets(IADsPropertyValue* value, UniqueVariant& holder, std::string& narrow) noexcept {
  try {
    raiseOnFailure(value->get_OctetString(holder.put()));
    const VARIANT& octets = holder.get();
    if (octets.vt != (VT_ARRAY | VT_UI1) || !octets.parray) return;
    SAFEARRAY* array = octets.parray;
    LONG lower = 0, upper = 0;
    raiseOnFailure(SafeArrayGetLBound(array, 1, &lower));
    raiseOnFailure(SafeArrayGetUBound(array, 1, &upper));
    SafeArrayAccess access;
    raiseOnFailure(access.access(array));
    const uint32_t count = static_cast<uint32_t>(upper - lower + 1);
    // Never read past the storage the array really has.
    if (array->cbElements != 1 || count > array->rgsabound[0].cElements) return;
    const char* bytes = static_cast<const char*>(access.data());
    for (uint32_t i = 0; i < count; ++i) narrow += bytes[i];
  } catch (...) {
  }
}

void readUtcTime(IADsPropertyValue* value, UniqueVariant& holder, WideText& wide) {
  DATE date = 0;
  value->get_UTCTime(&date);
  VARIANT& converted = *holder.put();
  converted.vt = VT_DATE;
  converted.date = date;
  if (VariantChangeType(&converted, &converted, VARIANT_NOVALUEPROP, VT_BSTR) == S_OK && converted.vt == VT_BSTR &&
      converted.bstrVal)
    wide.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
  holder.clear();
}

void readLargeInteger(IADsPropertyValue* value, std::string& narrow) {
  ComPtr<IDispatch> object;
  raiseOnFailure(value->get_LargeInteger(object.put()));
  if (!object) throw FailureCode{E_POINTER};
  ComPtr<IADsLargeInteger> largeInteger;
  queryInterface(object, IID_IADsLargeInteger, largeInteger);
  LONG low = 0, high = 0;
  largeInteger->get_LowPart(&low);
  largeInteger->get_HighPart(&high);
  const uint64_t bits = static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 | static_cast<uint32_t>(low);
  narrow = std::to_string(static_cast<long long>(static_cast<int64_t>(bits)));
}

void render(IADsPropertyValue* value, LONG type, UniqueVariant& holder, ValueTexts& texts) {
  switch (type) {
    case ADSTYPE_DN_STRING: return readString(value, &IADsPropertyValue::get_DNString, texts.wide);
    case ADSTYPE_CASE_EXACT_STRING: return readString(value, &IADsPropertyValue::get_CaseExactString, texts.wide);
    case ADSTYPE_CASE_IGNORE_STRING: return readString(value, &IADsPropertyValue::get_CaseIgnoreString, texts.wide);
    case ADSTYPE_PRINTABLE_STRING: return readString(value, &IADsPropertyValue::get_PrintableString, texts.wide);
    case ADSTYPE_NUMERIC_STRING: return readString(value, &IADsPropertyValue::get_NumericString, texts.wide);
    case ADSTYPE_BOOLEAN: {
      LONG flag = 0;
      value->get_Boolean(&flag);
      texts.wide = flag ? QX_WIDE("1") : QX_WIDE("0");
      return;
    }
    case ADSTYPE_INTEGER: {
      LONG number = 0;
      value->get_Integer(&number);
      formatText(texts.narrow, "%d", static_cast<int>(number));
      return;
    }
    case ADSTYPE_OCTET_STRING: return readOctets(value, holder, texts.narrow);
    case ADSTYPE_UTC_TIME: return readUtcTime(value, holder, texts.wide);
    case ADSTYPE_LARGE_INTEGER: return readLargeInteger(value, texts.narrow);
    case ADSTYPE_PROV_SPECIFIC: texts.wide = QX_WIDE("ADSTYPE PROV SPECIFIC"); return;
    case ADSTYPE_NT_SECURITY_DESCRIPTOR: texts.wide = QX_WIDE("NT SECURITY DESCRIPTOR"); return;
    default: texts.wide = QX_WIDE("Unknown type."); return;
  }
}

}  // namespace

bool formatPropertyValue(IADsPropertyValue* value, UniqueBstr& output) {
  ValueTexts texts;
  UniqueVariant holder;
  LONG type = 0;
  bool readable = true;
  if (value->get_ADsType(&type) != S_OK) {
    texts.wide = QX_WIDE("NULL");
    readable = false;
  } else {
    try {
      render(value, type, holder, texts);
    } catch (...) {
      readable = false;
      texts.narrow.clear();
      try {
        texts.wide = QX_WIDE("NULL");
      } catch (...) {
      }
    }
  }
  holder.clear();
  if (!texts.wide.empty())
    output = UniqueBstr::copyOf(texts.wide.data(), texts.wide.size());
  else
    output = toWide(texts.narrow.c_str());  // read as a zero-terminated text
  return readable;
}
