// Property-cache values as text: every type by its accessor, and the "|"
// joining of an entry's values.
#include <gtest/gtest.h>

#include "directory/dir_object.h"
#include "fake_com.h"
#include "format/property_value_format.h"
#include "platform/text_conversion.h"

namespace {

std::u16string wide(const UniqueBstr& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.get()), text.length());
}

// The text of a value that must be readable.
std::u16string formatValue(FakePropertyValue* value) {
  UniqueBstr out;
  EXPECT_TRUE(formatPropertyValue(value, out)) << "type " << value->type;
  value->Release();
  return wide(out);
}

// The stand-in text of a value that cannot be read.
std::u16string formatUnreadable(FakePropertyValue* value) {
  UniqueBstr out;
  EXPECT_FALSE(formatPropertyValue(value, out)) << "type " << value->type;
  value->Release();
  return wide(out);
}

FakePropertyValue* valueOf(LONG type) { return new FakePropertyValue(type); }

class PropertyValues : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(liveFakes.load(), 0) << "a reference was not released"; }
};

TEST_F(PropertyValues, StringsAsReturned) {
  for (LONG type = ADSTYPE_DN_STRING; type <= ADSTYPE_NUMERIC_STRING; ++type) {
    FakePropertyValue* value = valueOf(type);
    value->text = u"Z\u00F6e";
    EXPECT_EQ(formatValue(value), u"Z\u00F6e") << type;
  }
  FakePropertyValue* failing = valueOf(ADSTYPE_CASE_IGNORE_STRING);
  failing->failGetters = true;
  EXPECT_EQ(formatValue(failing), u"");
}

TEST_F(PropertyValues, BooleanIntegerAndLargeInteger) {
  FakePropertyValue* flag = valueOf(ADSTYPE_BOOLEAN);
  flag->number = 5;
  EXPECT_EQ(formatValue(flag), u"1");
  FakePropertyValue* unset = valueOf(ADSTYPE_BOOLEAN);
  EXPECT_EQ(formatValue(unset), u"0");
  FakePropertyValue* number = valueOf(ADSTYPE_INTEGER);
  number->number = -7;
  EXPECT_EQ(formatValue(number), u"-7");

  struct Case {
    LONG high, low;
    const char16_t* text;
  };
  const Case cases[] = {{1, 0, u"4294967296"},
                        {0, -1, u"4294967295"},
                        {-1, -1, u"-1"},
                        {0x7FFFFFFF, -1, u"9223372036854775807"},
                        {static_cast<LONG>(0x80000000), 0, u"-9223372036854775808"}};
  for (const Case& c : cases) {
    FakePropertyValue* large = valueOf(ADSTYPE_LARGE_INTEGER);
    large->high = c.high;
    large->low = c.low;
    EXPECT_EQ(formatValue(large), c.text);
  }
  FakePropertyValue* missing = valueOf(ADSTYPE_LARGE_INTEGER);
  missing->noLargeInteger = true;
  EXPECT_EQ(formatUnreadable(missing), u"NULL");
}

TEST_F(PropertyValues, OctetsEndAtTheFirstZeroByte) {
  FakePropertyValue* octets = valueOf(ADSTYPE_OCTET_STRING);
  octets->octets = {0x41, 0x42, 0x00, 0x43};
  EXPECT_EQ(formatValue(octets), u"AB");
  FakePropertyValue* empty = valueOf(ADSTYPE_OCTET_STRING);
  EXPECT_EQ(formatValue(empty), u"");
  // An array that is not of bytes is not read: the text stays empty.
  FakePropertyValue* wrong = valueOf(ADSTYPE_OCTET_STRING);
  wrong->octets = {0x41, 0x42};
  wrong->octetsAsWrongType = true;
  EXPECT_EQ(formatValue(wrong), u"");
}

TEST_F(PropertyValues, DatesThroughThePlatformConversion) {
  FakePropertyValue* date = valueOf(ADSTYPE_UTC_TIME);
  date->date = 40603.0 + (14 * 3600 + 5 * 60 + 9) / 86400.0;  // 2011-03-01 14:05:09
  EXPECT_EQ(formatValue(date), u"3/1/2011 2:05:09 PM");
}

TEST_F(PropertyValues, FixedTexts) {
  EXPECT_EQ(formatValue(valueOf(ADSTYPE_PROV_SPECIFIC)), u"ADSTYPE PROV SPECIFIC");
  EXPECT_EQ(formatValue(valueOf(ADSTYPE_NT_SECURITY_DESCRIPTOR)), u"NT SECURITY DESCRIPTOR");
  for (LONG code : {0, 12, 13, 24, 26, 27, 28, 29, -3}) EXPECT_EQ(formatValue(valueOf(code)), u"Unknown type.") << code;
  FakePropertyValue* untyped = valueOf(ADSTYPE_CASE_IGNORE_STRING);
  untyped->failType = true;
  EXPECT_EQ(formatUnreadable(untyped), u"NULL");
  // The same four letters as a string are data.
  FakePropertyValue* spelled = valueOf(ADSTYPE_CASE_IGNORE_STRING);
  spelled->text = u"NULL";
  EXPECT_EQ(formatValue(spelled), u"NULL");
}

// The entry formatting belongs to a wrapper (it records failures in the
// wrapper's text); a wrapper that opened nothing serves.
class PropertyEntries : public PropertyValues {
 protected:
  PropertyEntries() : object(UniqueBstr::copyOf(QX_WIDE("bad:"), 4)) { object.errorText.clear(); }

  std::u16string formatEntry(FakePropertyEntry* entry, int expectedCount) {
    UniqueBstr out;
    EXPECT_EQ(object.formatPropertyEntry(entry, out), expectedCount);
    entry->Release();
    EXPECT_TRUE(out);
    return wide(out);
  }

  DirObject object;
};

TEST_F(PropertyEntries, AnUnreadableOnlyValueMakesTheEntryUnreadable) {
  FakePropertyValue* untyped = valueOf(ADSTYPE_CASE_IGNORE_STRING);
  untyped->failType = true;
  auto* single = new FakePropertyEntry;
  single->setArray({dispatchElement(untyped)});
  UniqueBstr out;
  bool unreadable = false;
  EXPECT_EQ(object.formatPropertyEntry(single, out, &unreadable), 1);
  EXPECT_TRUE(unreadable);
  single->Release();

  // Among several values it is one part of the joined text.
  FakePropertyValue* second = valueOf(ADSTYPE_CASE_IGNORE_STRING);
  second->failType = true;
  auto* several = new FakePropertyEntry;
  several->setArray({bstrElement(u"a"), dispatchElement(second)});
  EXPECT_EQ(object.formatPropertyEntry(several, out, &unreadable), 2);
  EXPECT_FALSE(unreadable);
  EXPECT_EQ(wide(out), u"a|NULL|");
  several->Release();

  // A string value NULL is read.
  auto* spelled = new FakePropertyEntry;
  spelled->setArray({bstrElement(u"NULL")});
  EXPECT_EQ(object.formatPropertyEntry(spelled, out, &unreadable), 1);
  EXPECT_FALSE(unreadable);
  spelled->Release();
}

TEST_F(PropertyEntries, OneValueHasNoSeparator) {
  auto* entry = new FakePropertyEntry;
  entry->setArray({bstrElement(u"only")});
  EXPECT_EQ(formatEntry(entry, 1), u"only");
}

TEST_F(PropertyEntries, SeveralValuesEachEndWithABar) {
  auto* entry = new FakePropertyEntry;
  FakePropertyValue* typed = valueOf(ADSTYPE_INTEGER);
  typed->number = 42;
  entry->setArray({bstrElement(u"a"), dispatchElement(typed), bstrElement(u"c")});
  EXPECT_EQ(formatEntry(entry, 3), u"a|42|c|");
}

TEST_F(PropertyEntries, OtherElementTypesAreEmptyButSeparated) {
  auto* entry = new FakePropertyEntry;
  entry->setArray({bstrElement(u"a"), integerElement(9), bstrElement(u"c")});
  EXPECT_EQ(formatEntry(entry, 3), u"a||c|");
}

TEST_F(PropertyEntries, ValuesThatAreNotAnArrayCountZero) {
  auto* entry = new FakePropertyEntry;
  entry->values.vt = VT_BSTR;
  entry->values.bstrVal = SysAllocString(QX_WIDE("single"));
  EXPECT_EQ(formatEntry(entry, 0), u"");
  EXPECT_EQ(object.errorText, "");

  auto* empty = new FakePropertyEntry;
  empty->setArray({});
  EXPECT_EQ(formatEntry(empty, 0), u"");
}

TEST_F(PropertyEntries, FailuresAreRecordedInTheWrapper) {
  auto* entry = new FakePropertyEntry;
  entry->valuesResult = E_ACCESSDENIED;
  EXPECT_EQ(formatEntry(entry, 0), u"");
  EXPECT_EQ(object.errorText, "\nError: Access is denied.\r\n");
}

}  // namespace
