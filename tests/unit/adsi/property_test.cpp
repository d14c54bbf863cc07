// The property cache: GetInfo, Next in the entry's order, GetPropertyItem, and
// the typed values of every type the sample directory holds.
#include <cstring>

#include "adsi_test_support.h"

namespace {

// What IADsPropertyList::Next gives past the last property.
constexpr HRESULT kNoMoreItems = static_cast<HRESULT>(0x80070103);

class PropertyTest : public SampleTest {
 protected:
  void open(const std::string& dn) {
    ASSERT_EQ(bindPath("LDAP://" + dn, IID_IADs, object_), S_OK);
    ASSERT_EQ(object_->GetInfo(), S_OK);
    ASSERT_EQ(object_->QueryInterface(IID_IADsPropertyList, list_.putVoid()), S_OK);
  }
  // The values of one property, each as its IADsPropertyValue.
  std::vector<Ref<IADsPropertyValue>> values(const std::string& name, LONG* entryType = nullptr) {
    std::vector<Ref<IADsPropertyValue>> out;
    Var item;
    std::u16string w = wide(name);
    HRESULT hr = list_->GetPropertyItem(w.data(), ADSTYPE_CASE_IGNORE_STRING, &item.v);
    EXPECT_EQ(hr, S_OK) << name;
    if (hr != S_OK) return out;
    EXPECT_EQ(item.v.vt, VT_DISPATCH);
    Ref<IADsPropertyEntry> entry;
    EXPECT_EQ(item.v.pdispVal->QueryInterface(IID_IADsPropertyEntry, entry.putVoid()), S_OK);
    if (entryType) entry->get_ADsType(entryType);
    Var array;
    EXPECT_EQ(entry->get_Values(&array.v), S_OK);
    EXPECT_EQ(array.v.vt, VT_ARRAY | VT_VARIANT);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(array.v.parray, 1, &lower);
    SafeArrayGetUBound(array.v.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    VARIANT* elements = nullptr;
    SafeArrayAccessData(array.v.parray, reinterpret_cast<void**>(&elements));
    for (LONG i = 0; i <= upper - lower; ++i) {
      EXPECT_EQ(elements[i].vt, VT_DISPATCH);
      out.emplace_back();
      EXPECT_EQ(elements[i].pdispVal->QueryInterface(IID_IADsPropertyValue, out.back().putVoid()), S_OK);
    }
    SafeArrayUnaccessData(array.v.parray);
    return out;
  }
  LONG type(IADsPropertyValue* v) {
    LONG t = -1;
    EXPECT_EQ(v->get_ADsType(&t), S_OK);
    return t;
  }

  void TearDown() override {
    list_.reset();
    object_.reset();
    SampleTest::TearDown();
  }

  Ref<IADs> object_;
  Ref<IADsPropertyList> list_;
};

TEST_F(PropertyTest, NextWalksTheCacheInTheEntrysOrder) {
  open(kAlice);
  std::vector<std::string> names;
  HRESULT hr;
  Var item;
  while ((hr = list_->Next(&item.v)) == S_OK) {
    EXPECT_EQ(item.v.vt, VT_DISPATCH);
    Ref<IADsPropertyEntry> entry;
    ASSERT_EQ(item.v.pdispVal->QueryInterface(IID_IADsPropertyEntry, entry.putVoid()), S_OK);
    Bstr name;
    ASSERT_EQ(entry->get_Name(name.put()), S_OK);
    names.push_back(name.utf8());
    VariantClear(&item.v);
  }
  EXPECT_EQ(hr, kNoMoreItems);
  EXPECT_EQ(item.v.vt, VT_EMPTY);
  ASSERT_GT(names.size(), 30u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
            (std::vector<std::string>{"objectClass", "cn", "sn", "title"}));
  EXPECT_EQ(names.back(), "corpBadgeNumber");
  LONG count = 0;
  ASSERT_EQ(list_->get_PropertyCount(&count), S_OK);
  EXPECT_EQ(count, static_cast<LONG>(names.size()));
  // Reset starts over; Skip moves on; GetInfo reloads and starts over too.
  ASSERT_EQ(list_->Reset(), S_OK);
  ASSERT_EQ(list_->Skip(1), S_OK);
  ASSERT_EQ(list_->Next(&item.v), S_OK);
  Ref<IADsPropertyEntry> second;
  ASSERT_EQ(item.v.pdispVal->QueryInterface(IID_IADsPropertyEntry, second.putVoid()), S_OK);
  Bstr name;
  second->get_Name(name.put());
  EXPECT_EQ(name.utf8(), "cn");
  EXPECT_EQ(list_->Skip(1000), kNoMoreItems);
}

TEST_F(PropertyTest, StringsAndTheirGetters) {
  open(kAlice);
  LONG entryType = 0;
  auto mail = values("mail", &entryType);
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_EQ(entryType, ADSTYPE_CASE_IGNORE_STRING);
  EXPECT_EQ(type(mail[0].get()), ADSTYPE_CASE_IGNORE_STRING);
  Bstr text;
  ASSERT_EQ(mail[0]->get_CaseIgnoreString(text.put()), S_OK);
  EXPECT_EQ(text.utf8(), "alice.smith@corp.example.com");
  EXPECT_EQ(mail[0]->get_DNString(text.put()), E_ADS_CANT_CONVERT_DATATYPE);
  EXPECT_EQ(mail[0]->get_CaseExactString(text.put()), E_ADS_CANT_CONVERT_DATATYPE);
  LONG number = 0;
  EXPECT_EQ(mail[0]->get_Integer(&number), E_ADS_CANT_CONVERT_DATATYPE);

  auto proxies = values("proxyAddresses");
  ASSERT_EQ(proxies.size(), 2u);
  ASSERT_EQ(proxies[1]->get_CaseIgnoreString(text.put()), S_OK);
  EXPECT_EQ(text.utf8(), "smtp:asmith@corp.example.com");

  auto manager = values("manager");
  ASSERT_EQ(manager.size(), 1u);
  EXPECT_EQ(type(manager[0].get()), ADSTYPE_DN_STRING);
  ASSERT_EQ(manager[0]->get_DNString(text.put()), S_OK);
  EXPECT_EQ(text.utf8(), "CN=Olivia Reed,OU=Staff,DC=corp,DC=example,DC=com");

  // The type asked of GetPropertyItem converts nothing.
  auto uac = values("userAccountControl");
  ASSERT_EQ(uac.size(), 1u);
  EXPECT_EQ(type(uac[0].get()), ADSTYPE_INTEGER);
  ASSERT_EQ(uac[0]->get_Integer(&number), S_OK);
  EXPECT_EQ(number, 512);
}

TEST_F(PropertyTest, TimesAreOleDates) {
  open(kRoot);
  auto created = values("whenCreated");  // 20080115093000.0Z
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(type(created[0].get()), ADSTYPE_UTC_TIME);
  DATE date = 0;
  ASSERT_EQ(created[0]->get_UTCTime(&date), S_OK);
  SYSTEMTIME expected{2008, 1, 2, 15, 9, 30, 0, 0};
  DATE expectedDate = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&expected, &expectedDate));
  EXPECT_DOUBLE_EQ(date, expectedDate);
  EXPECT_NEAR(date, 39462.395833, 1e-5);
}

TEST_F(PropertyTest, LargeIntegersAnswerIADsLargeInteger) {
  open(kRoot);
  struct Case {
    const char* name;
    LONG high, low;
  } cases[] = {{"maxPwdAge", -8449, 178683904},  // -36288000000000
               {"forceLogoff", INT32_MIN, 0}};
  for (const Case& c : cases) {
    auto v = values(c.name);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(type(v[0].get()), ADSTYPE_LARGE_INTEGER);
    Ref<IDispatch> dispatch;
    ASSERT_EQ(v[0]->get_LargeInteger(dispatch.put()), S_OK);
    Ref<IADsLargeInteger> large;
    ASSERT_EQ(dispatch->QueryInterface(IID_IADsLargeInteger, large.putVoid()), S_OK);
    LONG high = 0, low = 0;
    ASSERT_EQ(large->get_HighPart(&high), S_OK);
    ASSERT_EQ(large->get_LowPart(&low), S_OK);
    EXPECT_EQ(high, c.high) << c.name;
    EXPECT_EQ(low, c.low) << c.name;
    EXPECT_EQ(
        static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low)),
        c.name[0] == 'm' ? -36288000000000LL : INT64_MIN);
  }
  open(kAlice);
  auto expires = values("accountExpires");
  Ref<IDispatch> dispatch;
  ASSERT_EQ(expires[0]->get_LargeInteger(dispatch.put()), S_OK);
  Ref<IADsLargeInteger> large;
  ASSERT_EQ(dispatch->QueryInterface(IID_IADsLargeInteger, large.putVoid()), S_OK);
  LONG high = 0, low = 0;
  large->get_HighPart(&high);
  large->get_LowPart(&low);
  EXPECT_EQ(high, 0x7FFFFFFF);
  EXPECT_EQ(low, -1);
}

TEST_F(PropertyTest, OctetStringsBooleansAndTypesWithoutAGetter) {
  open(kRoot);
  auto guid = values("objectGUID");
  ASSERT_EQ(guid.size(), 1u);
  EXPECT_EQ(type(guid[0].get()), ADSTYPE_OCTET_STRING);
  Var bytes;
  ASSERT_EQ(guid[0]->get_OctetString(&bytes.v), S_OK);
  ASSERT_EQ(bytes.v.vt, VT_ARRAY | VT_UI1);
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(bytes.v.parray, 1, &lower);
  SafeArrayGetUBound(bytes.v.parray, 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 15);

  auto critical = values("isCriticalSystemObject");
  EXPECT_EQ(type(critical[0].get()), ADSTYPE_BOOLEAN);
  LONG flag = 0;
  ASSERT_EQ(critical[0]->get_Boolean(&flag), S_OK);
  EXPECT_EQ(flag, 1);

  auto descriptor = values("nTSecurityDescriptor");
  EXPECT_EQ(type(descriptor[0].get()), ADSTYPE_NT_SECURITY_DESCRIPTOR);
  Ref<IDispatch> sd;
  EXPECT_EQ(descriptor[0]->get_SecurityDescriptor(sd.put()), E_ADS_CANT_CONVERT_DATATYPE);
  Var none;
  EXPECT_EQ(descriptor[0]->get_OctetString(&none.v), E_ADS_CANT_CONVERT_DATATYPE);

  auto known = values("wellKnownObjects");
  ASSERT_EQ(known.size(), 2u);
  EXPECT_EQ(type(known[0].get()), ADSTYPE_DN_WITH_BINARY);
  Bstr text;
  EXPECT_EQ(known[0]->get_DNString(text.put()), E_ADS_CANT_CONVERT_DATATYPE);
}

TEST_F(PropertyTest, GetGivesOneValueAloneAndGetExAlwaysAnArray) {
  open(kAlice);
  Var mail;
  ASSERT_EQ(object_->Get(const_cast<BSTR>(u"mail"), &mail.v), S_OK);
  ASSERT_EQ(mail.v.vt, VT_BSTR);
  EXPECT_EQ(narrow(mail.v.bstrVal), "alice.smith@corp.example.com");
  Var uac;
  ASSERT_EQ(object_->Get(const_cast<BSTR>(u"userAccountControl"), &uac.v), S_OK);
  EXPECT_EQ(uac.v.vt, VT_I4);
  EXPECT_EQ(uac.v.lVal, 512);
  Var expires;
  ASSERT_EQ(object_->Get(const_cast<BSTR>(u"accountExpires"), &expires.v), S_OK);
  EXPECT_EQ(expires.v.vt, VT_DISPATCH);
  Var classes;
  ASSERT_EQ(object_->Get(const_cast<BSTR>(u"objectClass"), &classes.v), S_OK);
  ASSERT_EQ(classes.v.vt, VT_ARRAY | VT_VARIANT);
  LONG upper = 0;
  SafeArrayGetUBound(classes.v.parray, 1, &upper);
  EXPECT_EQ(upper, 3);
  Var one;
  ASSERT_EQ(object_->GetEx(const_cast<BSTR>(u"mail"), &one.v), S_OK);
  ASSERT_EQ(one.v.vt, VT_ARRAY | VT_VARIANT);
  SafeArrayGetUBound(one.v.parray, 1, &upper);
  EXPECT_EQ(upper, 0);
  Var none;
  EXPECT_EQ(object_->Get(const_cast<BSTR>(u"noSuchProperty"), &none.v), E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(none.v.vt, VT_EMPTY);
}

TEST_F(PropertyTest, MissingPropertiesAndObjectsWithoutGuid) {
  open(kAlice);
  Var item;
  EXPECT_EQ(list_->GetPropertyItem(const_cast<BSTR>(u"noSuchProperty"), ADSTYPE_CASE_IGNORE_STRING, &item.v),
            E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(item.v.vt, VT_EMPTY);
  // Name lookups do not care about case.
  EXPECT_EQ(list_->GetPropertyItem(const_cast<BSTR>(u"SAMACCOUNTNAME"), ADSTYPE_CASE_IGNORE_STRING, &item.v), S_OK);

  Ref<IADs> schema;
  ASSERT_EQ(bindPath("LDAP://cn=Subschema", IID_IADs, schema), S_OK);
  Bstr guid;
  EXPECT_EQ(schema->get_GUID(guid.put()), E_ADS_PROPERTY_NOT_FOUND);
}

}  // namespace

namespace {

// An integer attribute (uidNumber is an RFC 4517 INTEGER) whose values do
// not fit 32 bits is a large integer, in the property cache and in a search
// column alike; one that fits stays a 32-bit integer.
class IntegerWidthTest : public PropertyTest {
 protected:
  void SetUp() override {
    PropertyTest::SetUp();
    mount(
        "dn: dc=w,dc=test\nobjectClass: domain\ndc: w\n\n"
        "dn: uid=big,dc=w,dc=test\nobjectClass: account\nuid: big\nuidNumber: 4294967296\n\n"
        "dn: uid=edge,dc=w,dc=test\nobjectClass: account\nuid: edge\nuidNumber: 2147483648\n\n"
        "dn: uid=low,dc=w,dc=test\nobjectClass: account\nuid: low\nuidNumber: -2147483649\n\n"
        "dn: uid=fits,dc=w,dc=test\nobjectClass: account\nuid: fits\nuidNumber: -2147483648\n\n");
  }
  int64_t largeValue(IADsPropertyValue* v) {
    Ref<IDispatch> dispatch;
    EXPECT_EQ(v->get_LargeInteger(dispatch.put()), S_OK);
    Ref<IADsLargeInteger> large;
    if (!dispatch || dispatch->QueryInterface(IID_IADsLargeInteger, large.putVoid()) != S_OK) return 0;
    LONG high = 0, low = 0;
    large->get_HighPart(&high);
    large->get_LowPart(&low);
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) |
                                static_cast<uint32_t>(low));
  }
};

TEST_F(IntegerWidthTest, ValuesOutsideThirtyTwoBitsAreLargeIntegers) {
  const struct {
    const char* uid;
    int64_t value;
  } large[] = {{"big", 4294967296LL}, {"edge", 2147483648LL}, {"low", -2147483649LL}};
  for (const auto& c : large) {
    open(std::string("uid=") + c.uid + ",dc=w,dc=test");
    LONG entryType = -1;
    auto v = values("uidNumber", &entryType);
    ASSERT_EQ(v.size(), 1u) << c.uid;
    EXPECT_EQ(entryType, ADSTYPE_LARGE_INTEGER) << c.uid;
    EXPECT_EQ(type(v[0].get()), ADSTYPE_LARGE_INTEGER) << c.uid;
    EXPECT_EQ(largeValue(v[0].get()), c.value) << c.uid;
    Var got;
    std::u16string w = wide("uidNumber");
    ASSERT_EQ(object_->Get(w.data(), &got.v), S_OK);
    EXPECT_EQ(got.v.vt, VT_DISPATCH) << c.uid;  // an IADsLargeInteger, not a wrapped VT_I4
  }
  open("uid=fits,dc=w,dc=test");
  auto v = values("uidNumber");
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(type(v[0].get()), ADSTYPE_INTEGER);
  LONG number = 0;
  ASSERT_EQ(v[0]->get_Integer(&number), S_OK);
  EXPECT_EQ(number, INT32_MIN);

  // The search road types the column by the same rule.
  Ref<IDirectorySearch> search;
  ASSERT_EQ(bindPath("LDAP://dc=w,dc=test", IID_IDirectorySearch, search), S_OK);
  std::u16string attribute = wide("uidNumber"), filter = wide("(uid=*)");
  LPWSTR names[] = {attribute.data()};
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(filter.data(), names, 1, &handle), S_OK);
  std::vector<std::pair<DWORD, int64_t>> columns;
  while (search->GetNextRow(handle) == S_OK) {
    ADS_SEARCH_COLUMN column;
    ASSERT_EQ(search->GetColumn(handle, attribute.data(), &column), S_OK);
    columns.emplace_back(column.dwADsType, column.dwADsType == ADSTYPE_LARGE_INTEGER
                                               ? column.pADsValues[0].LargeInteger.QuadPart
                                               : static_cast<int32_t>(column.pADsValues[0].Integer));
    search->FreeColumn(&column);
  }
  search->CloseSearchHandle(handle);
  EXPECT_EQ(columns, (std::vector<std::pair<DWORD, int64_t>>{{ADSTYPE_LARGE_INTEGER, 4294967296LL},
                                                             {ADSTYPE_LARGE_INTEGER, 2147483648LL},
                                                             {ADSTYPE_LARGE_INTEGER, -2147483649LL},
                                                             {ADSTYPE_INTEGER, INT32_MIN}}));
}

}  // namespace
