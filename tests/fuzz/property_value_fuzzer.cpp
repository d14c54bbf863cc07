// formatPropertyValue and DirObject::formatPropertyEntry over fake property
// values and entries whose type codes, getter results and values come from
// the input: any type code, failing getters, odd dates, octet strings of the
// wrong element type, value arrays of any bounds with elements of any kind.
// Every reference handed out must come back: no fake, BSTR or SAFEARRAY
// outlives the input.
#include <cstdint>
#include <string>
#include <vector>

#include "directory/dir_object.h"
#include "fake_com.h"
#include "format/property_value_format.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "live_counters.h"

namespace {

FakePropertyValue* makeValue(FuzzInput& in) {
  const uint8_t choice = in.byte();
  const LONG type = choice < 0xE0 ? choice % 32 : static_cast<LONG>(in.u32());
  auto* value = new FakePropertyValue(type);
  const uint8_t flags = in.byte();
  value->failType = (flags & 0x07) == 0x07;
  value->failGetters = flags & 0x08;
  value->octetsAsWrongType = flags & 0x10;
  value->noLargeInteger = flags & 0x20;
  value->text = in.utf16(80);
  value->number = static_cast<LONG>(in.u32());
  const std::string octets = in.sized(64);
  value->octets.assign(octets.begin(), octets.end());
  // Any double (NaN, infinities, far dates) or a plausible day count.
  value->date = flags & 0x40 ? in.real() : static_cast<int32_t>(in.u32()) / 256.0;
  value->high = static_cast<LONG>(in.u32());
  value->low = static_cast<LONG>(in.u32());
  return value;
}

// What the rules fix exactly for a value, or nothing to compare.
bool expectedValueText(const FakePropertyValue& v, std::u16string& expected) {
  if (v.failType) return expected = u"NULL", true;
  auto digits = [](long long n) {
    const std::string d = std::to_string(n);
    return std::u16string(d.begin(), d.end());
  };
  switch (v.type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING: return expected = v.failGetters ? u"" : v.text, true;
    case ADSTYPE_BOOLEAN: return expected = v.number ? u"1" : u"0", true;
    case ADSTYPE_INTEGER: return expected = digits(v.number), true;
    case ADSTYPE_LARGE_INTEGER:
      if (v.noLargeInteger) return expected = u"NULL", true;
      return expected = digits(static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(v.high)) << 32 |
                                                    static_cast<uint32_t>(v.low))),
             true;
    case ADSTYPE_PROV_SPECIFIC: return expected = u"ADSTYPE PROV SPECIFIC", true;
    case ADSTYPE_NT_SECURITY_DESCRIPTOR: return expected = u"NT SECURITY DESCRIPTOR", true;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_UTC_TIME: return false;  // code-page and locale dependent
    default: return expected = u"Unknown type.", true;
  }
}

std::u16string textOf(const UniqueBstr& text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text.get()), text.length()) : std::u16string();
}

void fuzzValue(FuzzInput& in) {
  ComPtr<FakePropertyValue> value;
  *value.put() = makeValue(in);
  UniqueBstr output = UniqueBstr::copyOf(QX_WIDE("stale"), 5);
  const bool readable = formatPropertyValue(value.get(), output);
  // A value is unreadable exactly when its type cannot be read or its large
  // integer is missing; a string value that spells NULL is readable.
  const FakePropertyValue& v = *value.get();
  FUZZ_REQUIRE(readable == !(v.failType || (v.type == ADSTYPE_LARGE_INTEGER && v.noLargeInteger)),
               "type " + std::to_string(v.type) + (readable ? " read" : " unreadable") + " against the rule");
  std::u16string expected;
  if (expectedValueText(v, expected))
    FUZZ_REQUIRE(textOf(output) == expected, "type " + std::to_string(v.type) + " gave another text");
}

// The entry's values: an array of VARIANTs with any lower bound, or another
// VARIANT, or a failing get_Values.
void fillEntry(FuzzInput& in, FakePropertyEntry& entry, std::vector<std::u16string>& strings, bool& onlyStrings) {
  const uint8_t shape = in.byte();
  onlyStrings = false;
  if (shape % 8 == 0) {
    entry.valuesResult = E_ADS_PROPERTY_NOT_FOUND;
    return;
  }
  if (shape % 8 == 1) {  // one string, not an array
    const std::u16string text = in.utf16(80);
    entry.values = bstrElement(text.c_str());
    return;
  }
  SAFEARRAYBOUND bound{static_cast<ULONG>(in.byte() % 7), static_cast<LONG>(static_cast<int8_t>(in.byte()))};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  FUZZ_REQUIRE(array, "no array");
  VARIANT* elements = nullptr;
  SafeArrayAccessData(array, reinterpret_cast<void**>(&elements));
  onlyStrings = true;
  for (ULONG i = 0; i < bound.cElements; ++i) {
    const uint8_t kind = in.byte() % 6;
    onlyStrings = onlyStrings && kind == 0;
    switch (kind) {
      case 0: {
        strings.push_back(in.utf16(80));
        elements[i] = bstrElement(strings.back().c_str());
        break;
      }
      case 1: elements[i] = dispatchElement(makeValue(in)); break;
      case 2: elements[i] = dispatchElement(new FakeLargeInteger(1, 2)); break;  // not a property value
      case 3: elements[i] = dispatchElement(nullptr); break;
      case 4: elements[i] = integerElement(static_cast<LONG>(in.u32())); break;
      default: VariantInit(&elements[i]); break;
    }
  }
  SafeArrayUnaccessData(array);
  VariantClear(&entry.values);
  entry.values.vt = VT_ARRAY | VT_VARIANT;
  entry.values.parray = array;
}

void fuzzEntry(FuzzInput& in) {
  ComPtr<FakePropertyEntry> entry;
  *entry.put() = new FakePropertyEntry();
  std::vector<std::u16string> strings;
  bool onlyStrings = false;
  fillEntry(in, *entry.get(), strings, onlyStrings);

  DirObject object(UniqueBstr::empty());  // opens nothing: only its error text is used
  UniqueBstr output;
  const int count = object.formatPropertyEntry(entry.get(), output);
  FUZZ_REQUIRE(count >= 0, "negative value count");
  if (onlyStrings) {
    FUZZ_REQUIRE(count == static_cast<int>(strings.size()), "count of a string array");
    // A string's own zero units end it in the array's BSTR.
    std::u16string shown;
    for (const std::u16string& s : strings) shown += std::u16string(s.c_str()) + (strings.size() > 1 ? u"|" : u"");
    FUZZ_REQUIRE(textOf(output) == shown, "joined strings differ");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const LiveCounters before = LiveCounters::now();
  const int fakesBefore = liveFakes.load();
  if (in.flag())
    fuzzEntry(in);
  else
    fuzzValue(in);
  FUZZ_REQUIRE(liveFakes.load() == fakesBefore, "a fake COM object was not released");
  const std::string moved = counterChanges(before, LiveCounters::now());
  FUZZ_REQUIRE(moved.empty(), "formatting left " + moved);
  return 0;
}
