// Search values as cell text: every type code, times, bytes and lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "format/search_value_format.h"

namespace {

std::optional<std::string> format(ADSTYPE type, ADSVALUE value, DWORD count = 1) {
  value.dwType = type;
  ADS_SEARCH_COLUMN column{};
  column.dwADsType = type;
  column.pADsValues = &value;
  column.dwNumValues = count;
  return formatSearchValue(column);
}

std::optional<std::string> formatCode(DWORD code) {
  ADSVALUE value{};
  ADS_SEARCH_COLUMN column{};
  std::memcpy(&column.dwADsType, &code, sizeof code);  // codes the enumeration does not name
  column.pADsValues = &value;
  column.dwNumValues = 1;
  return formatSearchValue(column);
}

WCHAR* w(const char16_t* text) { return const_cast<WCHAR*>(text); }

ADSVALUE timeValue(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms = 0) {
  ADSVALUE value{};
  value.UTCTime = SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
  return value;
}

TEST(SearchValue, StringsAreConverted) {
  ADSVALUE value{};
  value.CaseIgnoreString = w(u"J\u00FCrgen");
  EXPECT_EQ(format(ADSTYPE_CASE_IGNORE_STRING, value), "J\xC3\xBCrgen");
  value.DNString = w(u"CN=a,DC=b");
  EXPECT_EQ(format(ADSTYPE_DN_STRING, value), "CN=a,DC=b");
  value.DNString = nullptr;
  EXPECT_EQ(format(ADSTYPE_PRINTABLE_STRING, value), "");
}

TEST(SearchValue, OnlyTheFirstOfSeveralValues) {
  ADSVALUE values[3]{};
  const char16_t* texts[] = {u"a", u"b", u"c"};
  for (int i = 0; i < 3; ++i) {
    values[i].dwType = ADSTYPE_CASE_IGNORE_STRING;
    values[i].CaseIgnoreString = w(texts[i]);
  }
  ADS_SEARCH_COLUMN column{};
  column.dwADsType = ADSTYPE_CASE_IGNORE_STRING;
  column.pADsValues = values;
  column.dwNumValues = 3;
  EXPECT_EQ(formatSearchValue(column), "a");
}

TEST(SearchValue, NoValuesIsAbsent) {
  ADS_SEARCH_COLUMN column{};
  column.dwADsType = ADSTYPE_CASE_IGNORE_STRING;
  EXPECT_EQ(formatSearchValue(column), std::nullopt);
  ADSVALUE value{};
  EXPECT_EQ(format(ADSTYPE_CASE_IGNORE_STRING, value, 0), std::nullopt);
}

TEST(SearchValue, NumbersAreSigned) {
  ADSVALUE value{};
  value.Boolean = 2;
  EXPECT_EQ(format(ADSTYPE_BOOLEAN, value), "1");
  value.Boolean = 0;
  EXPECT_EQ(format(ADSTYPE_BOOLEAN, value), "0");
  value.Integer = 0xFFFFFFFF;
  EXPECT_EQ(format(ADSTYPE_INTEGER, value), "-1");
  value.Integer = 512;
  EXPECT_EQ(format(ADSTYPE_INTEGER, value), "512");
  value.LargeInteger.QuadPart = 4294967296LL;
  EXPECT_EQ(format(ADSTYPE_LARGE_INTEGER, value), "4294967296");
  value.LargeInteger.QuadPart = -1;
  EXPECT_EQ(format(ADSTYPE_LARGE_INTEGER, value), "-1");
  value.LargeInteger.QuadPart = INT64_MAX;
  EXPECT_EQ(format(ADSTYPE_LARGE_INTEGER, value), "9223372036854775807");
  value.Timestamp.WholeSeconds = 0x80000000;
  EXPECT_EQ(format(ADSTYPE_TIMESTAMP, value), "-2147483648");
}

TEST(SearchValue, BytesKeepZeroBytes) {
  BYTE bytes[] = {0, 1, 2, 3};
  ADSVALUE value{};
  value.OctetString = {4, bytes};
  EXPECT_EQ(format(ADSTYPE_OCTET_STRING, value), std::string("\0\1\2\3", 4));
  value.SecurityDescriptor = {4, bytes};
  EXPECT_EQ(format(ADSTYPE_NT_SECURITY_DESCRIPTOR, value), std::string("\0\1\2\3", 4));
  value.ProviderSpecific = {2, bytes};
  EXPECT_EQ(format(ADSTYPE_PROV_SPECIFIC, value), std::string("\0\1", 2));
  ADS_NETADDRESS address{9, 3, bytes};
  value.pNetAddress = &address;
  EXPECT_EQ(format(ADSTYPE_NETADDRESS, value), std::string("\0\1\2", 3));
  value.pNetAddress = nullptr;
  EXPECT_EQ(format(ADSTYPE_NETADDRESS, value), "");
  value.OctetString = {0, nullptr};
  EXPECT_EQ(format(ADSTYPE_OCTET_STRING, value), "");
  // A length without data cannot be read.
  value.OctetString = {3, nullptr};
  EXPECT_EQ(format(ADSTYPE_OCTET_STRING, value), std::nullopt);
}

TEST(SearchValue, BinaryColumnsAreOctetNetAddressAndSecurityDescriptor) {
  for (DWORD code = 0; code <= 29; ++code)
    EXPECT_EQ(isBinarySearchType(code), code == 8 || code == 21 || code == 25) << code;
}

TEST(SearchValue, UtcTimesIgnoreTheTimeZone) {
  const char* zone = std::getenv("TZ");
  const std::string saved = zone ? zone : "";
  setenv("TZ", "America/Los_Angeles", 1);
  tzset();
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(2011, 3, 1, 14, 5, 9, 250)), "2011-03-01 14:05:09");
  if (zone)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(SearchValue, UtcTimeEdges) {
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(1601, 1, 1, 0, 0, 0)), "1970-01-01 00:00:00");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(1899, 12, 31, 23, 59, 59)), "1970-01-01 00:00:00");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(1965, 6, 1, 0, 0, 0)), std::nullopt);
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(1970, 1, 1, 0, 0, 0)), "1970-01-01 00:00:00");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(3000, 12, 31, 23, 59, 59)), "3000-12-31 23:59:59");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(3001, 1, 1, 0, 0, 0)), std::nullopt);
  // Fields out of range carry over.
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(2010, 13, 1, 0, 0, 0)), "2011-01-01 00:00:00");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(2012, 2, 30, 24, 0, 0)), "2012-03-02 00:00:00");
  EXPECT_EQ(format(ADSTYPE_UTC_TIME, timeValue(2000, 2, 29, 23, 59, 60)), "2000-03-01 00:00:00");
}

TEST(SearchValue, ListsEndEveryElementWithASemicolon) {
  ADS_CASEIGNORE_LIST second{nullptr, w(u"b")};
  ADS_CASEIGNORE_LIST first{&second, w(u"a")};
  ADSVALUE value{};
  value.pCaseIgnoreList = &first;
  EXPECT_EQ(format(ADSTYPE_CASEIGNORE_LIST, value), "a;b;");
  value.pCaseIgnoreList = nullptr;
  EXPECT_EQ(format(ADSTYPE_CASEIGNORE_LIST, value), "");

  BYTE bytes[] = {'x', 0, 'y'};
  ADS_OCTET_LIST last{nullptr, 1, bytes + 2};
  ADS_OCTET_LIST head{&last, 2, bytes};
  value.pOctetList = &head;
  EXPECT_EQ(format(ADSTYPE_OCTET_LIST, value), std::string("x\0;y;", 5));
}

TEST(SearchValue, ACyclicListCannotHang) {
  ADS_CASEIGNORE_LIST loop{nullptr, w(u"a")};
  loop.Next = &loop;
  ADSVALUE value{};
  value.pCaseIgnoreList = &loop;
  EXPECT_EQ(format(ADSTYPE_CASEIGNORE_LIST, value), std::nullopt);
}

TEST(SearchValue, PostalAddressSkipsAbsentLines) {
  ADS_POSTALADDRESS address{};
  address.PostalAddress[0] = w(u"1 Main St");
  address.PostalAddress[2] = w(u"Springfield");
  ADSVALUE value{};
  value.pPostalAddress = &address;
  EXPECT_EQ(format(ADSTYPE_POSTALADDRESS, value), "1 Main St\r\nSpringfield\r\n");
}

TEST(SearchValue, FormattedStructures) {
  ADSVALUE value{};
  ADS_PATH path{3, w(u"VOL1"), w(u"\\dir\\file")};
  value.pPath = &path;
  EXPECT_EQ(format(ADSTYPE_PATH, value), "Type:3, Vol:VOL1, Path:\\dir\\file");
  ADS_TYPEDNAME typed{w(u"CN=x"), 2, 0xFFFFFFFF};
  value.pTypedName = &typed;
  EXPECT_EQ(format(ADSTYPE_TYPEDNAME, value), "CN=x, Lev:2, Int:-1");
  value.pTypedName = nullptr;
  EXPECT_EQ(format(ADSTYPE_TYPEDNAME, value), "");
  value.Hold = {w(u"CN=h"), 40};
  EXPECT_EQ(format(ADSTYPE_HOLD, value), "CN=h, Amt:40");
  ADS_REPLICAPOINTER replica{w(u"srv"), 1, 2, 3, nullptr};
  value.pReplicaPointer = &replica;
  EXPECT_EQ(format(ADSTYPE_REPLICAPOINTER, value), "srv, Type:1, Num:2, Cnt:3");
  value.BackLink = {7, w(u"CN=b")};
  EXPECT_EQ(format(ADSTYPE_BACKLINK, value), "CN=b");
  ADS_FAXNUMBER fax{w(u"+1 555"), 0, nullptr};
  value.pFaxNumber = &fax;
  EXPECT_EQ(format(ADSTYPE_FAXNUMBER, value), "+1 555");
  value.Email = {w(u"a@b.c"), 1};
  EXPECT_EQ(format(ADSTYPE_EMAIL, value), "a@b.c");
}

TEST(SearchValue, DistinguishedNamesWithData) {
  BYTE guid[16] = {0x2f, 0xba, 0xc1, 0x87, 0x0a, 0xde, 0x11, 0xd2, 0x97, 0xc4, 0x00, 0xc0, 0x4f, 0xd8, 0xd5, 0xcd};
  ADS_DN_WITH_BINARY withBinary{16, guid, w(u"CN=Computers,DC=corp")};
  ADSVALUE value{};
  value.pDNWithBinary = &withBinary;
  EXPECT_EQ(format(ADSTYPE_DN_WITH_BINARY, value), "CN=Computers,DC=corp:{87C1BA2F-DE0A-D211-97C4-00C04FD8D5CD}");
  withBinary.dwLength = 3;
  EXPECT_EQ(format(ADSTYPE_DN_WITH_BINARY, value), "CN=Computers,DC=corp:2FBAC1");

  ADS_DN_WITH_STRING withString{w(u"text"), w(u"CN=x")};
  value.pDNWithString = &withString;
  EXPECT_EQ(format(ADSTYPE_DN_WITH_STRING, value), "CN=x:text");
}

TEST(SearchValue, CodesWithoutARule) {
  EXPECT_EQ(formatCode(12), "Unknown type.");
  EXPECT_EQ(formatCode(0), "Unknown type.");
  EXPECT_EQ(formatCode(29), "Unknown type.");
  EXPECT_EQ(formatCode(0xFFFFFFFF), "Unknown type.");
  EXPECT_EQ(formatCode(26), "Undefined type");
}

}  // namespace
