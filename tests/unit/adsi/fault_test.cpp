// Every injected fault reaches the caller as the HRESULT injected, and the
// odd values come out as armed.
#include <functional>
#include <set>
#include <string>

#include "adsi_test_support.h"

namespace {

constexpr HRESULT kInjected = static_cast<HRESULT>(0x80041234);
const std::string kAlicePath = std::string("LDAP://") + kAlice;
const std::string kGroupPath = "LDAP://CN=Managers,OU=Groups,DC=corp,DC=example,DC=com";

using FaultTest = SampleTest;

HRESULT withSearch(const std::function<HRESULT(IDirectorySearch*, ADS_SEARCH_HANDLE)>& call) {
  Ref<IDirectorySearch> search;
  HRESULT hr = bindPath(kAlicePath, IID_IDirectorySearch, search);
  if (FAILED(hr)) return hr;
  ADS_SEARCH_HANDLE handle = nullptr;
  hr = search->ExecuteSearch(const_cast<LPWSTR>(u"(cn=*)"), nullptr, 0xFFFFFFFF, &handle);
  if (FAILED(hr)) return hr;
  hr = search->GetNextRow(handle);
  if (hr == S_OK) hr = call(search.get(), handle);
  search->CloseSearchHandle(handle);
  return hr;
}

HRESULT withObject(const std::string& path, const std::function<HRESULT(IADs*)>& call) {
  Ref<IADs> object;
  HRESULT hr = bindPath(path, IID_IADs, object);
  return FAILED(hr) ? hr : call(object.get());
}

HRESULT withProperty(const char16_t* name, const std::function<HRESULT(IADsPropertyEntry*)>& call) {
  return withObject(kAlicePath, [&](IADs* object) {
    Ref<IADsPropertyList> list;
    HRESULT hr = object->QueryInterface(IID_IADsPropertyList, list.putVoid());
    if (FAILED(hr)) return hr;
    Var item;
    hr = list->GetPropertyItem(const_cast<BSTR>(name), ADSTYPE_CASE_IGNORE_STRING, &item.v);
    if (FAILED(hr)) return hr;
    Ref<IADsPropertyEntry> entry;
    hr = item.v.pdispVal->QueryInterface(IID_IADsPropertyEntry, entry.putVoid());
    return FAILED(hr) ? hr : call(entry.get());
  });
}

HRESULT withValue(const char16_t* name, const std::function<HRESULT(IADsPropertyValue*)>& call) {
  return withProperty(name, [&](IADsPropertyEntry* entry) {
    Var values;
    HRESULT hr = entry->get_Values(&values.v);
    if (FAILED(hr)) return hr;
    VARIANT* elements = nullptr;
    SafeArrayAccessData(values.v.parray, reinterpret_cast<void**>(&elements));
    Ref<IADsPropertyValue> value;
    hr = elements[0].pdispVal->QueryInterface(IID_IADsPropertyValue, value.putVoid());
    SafeArrayUnaccessData(values.v.parray);
    return FAILED(hr) ? hr : call(value.get());
  });
}

HRESULT withEnumerator(const std::string& path, const std::function<HRESULT(IEnumVARIANT*)>& call) {
  return withObject(path, [&](IADs* object) {
    Ref<IADsContainer> container;
    HRESULT hr = object->QueryInterface(IID_IADsContainer, container.putVoid());
    if (FAILED(hr)) return hr;
    Ref<IUnknown> enumObject;
    hr = container->get__NewEnum(enumObject.put());
    if (FAILED(hr)) return hr;
    Ref<IEnumVARIANT> enumerator;
    hr = enumObject->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid());
    return FAILED(hr) ? hr : call(enumerator.get());
  });
}

HRESULT nextElement(IEnumVARIANT* enumerator) {
  Var element;
  ULONG fetched = 0;
  return ADsEnumerateNext(enumerator, 1, &element.v, &fetched);
}

HRESULT getString(IADs* object, HRESULT (IADs::*get)(BSTR*)) {
  Bstr value;
  return (object->*get)(value.put());
}

struct FaultCase {
  const char* operation;
  std::function<HRESULT()> call;
};

TEST_F(FaultTest, EveryNamedOperationFailsWithTheInjectedResult) {
  const std::vector<FaultCase> cases = {
      {"ADsGetObject", [] { return withObject(kAlicePath, [](IADs*) { return S_OK; }); }},
      {"IADs::GetInfo", [] { return withObject(kAlicePath, [](IADs* o) { return o->GetInfo(); }); }},
      {"IADs::get_Name", [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_Name); }); }},
      {"IADs::get_Class",
       [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_Class); }); }},
      {"IADs::get_GUID", [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_GUID); }); }},
      {"IADs::get_ADsPath",
       [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_ADsPath); }); }},
      {"IADs::get_Parent",
       [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_Parent); }); }},
      {"IADs::get_Schema",
       [] { return withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_Schema); }); }},
      {"IADs::QueryInterface(IADsContainer)",
       [] {
         return withObject(kAlicePath, [](IADs* o) {
           Ref<IADsContainer> c;
           HRESULT hr = o->QueryInterface(IID_IADsContainer, c.putVoid());
           if (FAILED(hr)) {
             EXPECT_FALSE(c);
           }
           return hr;
         });
       }},
      {"IADs::QueryInterface(IDirectorySearch)",
       [] {
         Ref<IDirectorySearch> s;
         return bindPath(kAlicePath, IID_IDirectorySearch, s);
       }},
      {"IADsObjectOptions::SetOption",
       [] {
         return withObject(kAlicePath, [](IADs* o) {
           Ref<IADsObjectOptions> options;
           o->QueryInterface(IID_IADsObjectOptions, options.putVoid());
           Var size;
           size.v.vt = VT_I4;
           size.v.lVal = 100;
           return options->SetOption(ADS_OPTION_PAGE_SIZE, size.v);
         });
       }},
      {"IADsContainer::put_Filter",
       [] {
         return withObject(kAlicePath, [](IADs* o) {
           Ref<IADsContainer> c;
           o->QueryInterface(IID_IADsContainer, c.putVoid());
           Var filter;
           LPWSTR names[] = {const_cast<LPWSTR>(u"user")};
           ADsBuildVarArrayStr(names, 1, &filter.v);
           return c->put_Filter(filter.v);
         });
       }},
      {"IADsContainer::get__NewEnum", [] { return withEnumerator(kAlicePath, [](IEnumVARIANT*) { return S_OK; }); }},
      {"IEnumVARIANT::QueryInterface(IEnumVARIANT)",
       [] { return withEnumerator(kAlicePath, [](IEnumVARIANT*) { return S_OK; }); }},
      {"IEnumVARIANT::Next", [] { return withEnumerator("LDAP://OU=Staff,DC=corp,DC=example,DC=com", nextElement); }},
      {"IADsGroup::Members",
       [] {
         Ref<IADsGroup> g;
         bindPath(kGroupPath, IID_IADsGroup, g);
         Ref<IADsMembers> m;
         return g->Members(m.put());
       }},
      {"IADsMembers::get__NewEnum",
       [] {
         Ref<IADsGroup> g;
         bindPath(kGroupPath, IID_IADsGroup, g);
         Ref<IADsMembers> m;
         g->Members(m.put());
         Ref<IUnknown> e;
         return m->get__NewEnum(e.put());
       }},
      {"IADsPropertyList::Next",
       [] {
         return withObject(kAlicePath, [](IADs* o) {
           Ref<IADsPropertyList> list;
           o->QueryInterface(IID_IADsPropertyList, list.putVoid());
           Var item;
           return list->Next(&item.v);
         });
       }},
      {"IADsPropertyList::GetPropertyItem",
       [] { return withProperty(u"cn", [](IADsPropertyEntry*) { return S_OK; }); }},
      {"IADsPropertyEntry::QueryInterface(IADsPropertyEntry)",
       [] { return withProperty(u"cn", [](IADsPropertyEntry*) { return S_OK; }); }},
      {"IADsPropertyEntry::get_Name",
       [] {
         return withProperty(u"cn", [](IADsPropertyEntry* e) {
           Bstr name;
           return e->get_Name(name.put());
         });
       }},
      {"IADsPropertyEntry::get_Values", [] { return withValue(u"cn", [](IADsPropertyValue*) { return S_OK; }); }},
      {"IADsPropertyValue::QueryInterface(IADsPropertyValue)",
       [] { return withValue(u"cn", [](IADsPropertyValue*) { return S_OK; }); }},
      {"IADsPropertyValue::get_ADsType",
       [] {
         return withValue(u"cn", [](IADsPropertyValue* v) {
           LONG type = 0;
           return v->get_ADsType(&type);
         });
       }},
      {"IADsPropertyValue::get_CaseIgnoreString",
       [] {
         return withValue(u"cn", [](IADsPropertyValue* v) {
           Bstr s;
           return v->get_CaseIgnoreString(s.put());
         });
       }},
      {"IADsPropertyValue::get_LargeInteger",
       [] {
         return withValue(u"pwdLastSet", [](IADsPropertyValue* v) {
           Ref<IDispatch> d;
           return v->get_LargeInteger(d.put());
         });
       }},
      {"IADsLargeInteger::QueryInterface(IADsLargeInteger)",
       [] {
         return withValue(u"pwdLastSet", [](IADsPropertyValue* v) {
           Ref<IDispatch> d;
           v->get_LargeInteger(d.put());
           Ref<IADsLargeInteger> large;
           HRESULT hr = d->QueryInterface(IID_IADsLargeInteger, large.putVoid());
           if (FAILED(hr)) {
             EXPECT_FALSE(large);
           }
           return hr;
         });
       }},
      {"IADsPropertyValue::get_UTCTime",
       [] {
         return withValue(u"whenCreated", [](IADsPropertyValue* v) {
           DATE d;
           return v->get_UTCTime(&d);
         });
       }},
      {"IDirectorySearch::SetSearchPreference",
       [] {
         Ref<IDirectorySearch> s;
         bindPath(kAlicePath, IID_IDirectorySearch, s);
         ADS_SEARCHPREF_INFO pref{};
         pref.dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
         pref.vValue.dwType = ADSTYPE_INTEGER;
         pref.vValue.Integer = 100;
         return s->SetSearchPreference(&pref, 1);
       }},
      {"IDirectorySearch::ExecuteSearch",
       [] { return withSearch([](IDirectorySearch*, ADS_SEARCH_HANDLE) { return S_OK; }); }},
      {"IDirectorySearch::GetNextRow",
       [] { return withSearch([](IDirectorySearch*, ADS_SEARCH_HANDLE) { return S_OK; }); }},
      {"IDirectorySearch::GetNextColumnName",
       [] {
         return withSearch([](IDirectorySearch* s, ADS_SEARCH_HANDLE h) {
           LPWSTR name = nullptr;
           HRESULT hr = s->GetNextColumnName(h, &name);
           if (name) FreeADsMem(name);
           return hr;
         });
       }},
      {"IDirectorySearch::GetColumn",
       [] {
         return withSearch([](IDirectorySearch* s, ADS_SEARCH_HANDLE h) {
           ADS_SEARCH_COLUMN c;
           HRESULT hr = s->GetColumn(h, const_cast<LPWSTR>(u"cn"), &c);
           if (hr == S_OK) s->FreeColumn(&c);
           return hr;
         });
       }},
  };
  for (const FaultCase& c : cases) {
    ASSERT_EQ(c.call(), S_OK) << c.operation << " fails without a fault";
    ASSERT_TRUE(AdsCompatSetFault(c.operation, kInjected));
    EXPECT_EQ(c.call(), kInjected) << c.operation;
    AdsCompatClearFaults();
    EXPECT_EQ(c.call(), S_OK) << c.operation << " after the faults were cleared";
  }
}

TEST_F(FaultTest, AFaultCanWaitForItsCall) {
  ASSERT_TRUE(AdsCompatSetFaultAfter("IEnumVARIANT::Next", kInjected, 2));
  HRESULT third = withEnumerator("LDAP://OU=Staff,DC=corp,DC=example,DC=com", [](IEnumVARIANT* e) {
    EXPECT_EQ(nextElement(e), S_OK);
    EXPECT_EQ(nextElement(e), S_OK);
    return nextElement(e);
  });
  EXPECT_EQ(third, kInjected);
  EXPECT_FALSE(AdsCompatSetFault("", kInjected));
}

TEST_F(FaultTest, OnlyTheListedOperationsCanBeArmed) {
  std::set<std::string> listed;
  for (size_t i = 0; const char* name = AdsCompatFaultOperation(i); ++i) {
    EXPECT_TRUE(listed.insert(name).second) << name << " is listed twice";
    EXPECT_TRUE(AdsCompatSetFault(name, kInjected)) << name;
  }
  AdsCompatClearFaults();
  for (const char* name : {"ADsGetObject", "IDirectorySearch::ExecuteSearch", "IEnumVARIANT::Next:notDispatch",
                           "IADsPropertyValue::get_UTCTime", "IADs::QueryInterface(IDirectorySearch)",
                           "IADsLargeInteger::QueryInterface(IDispatch)"})
    EXPECT_EQ(listed.count(name), 1u) << name;

  // Misspelt or made-up names are refused and arm nothing.
  for (const char* name : {"Search", "IADs::getName", "iads::get_Name", "IADs::get_Name ", "IADs::QueryInterface(IFoo)",
                           "IADsGroup::QueryInterface(IADs)", "IEnumVARIANT::Next:odd"}) {
    EXPECT_FALSE(AdsCompatSetFault(name, kInjected)) << name;
    EXPECT_EQ(listed.count(name), 0u) << name;
  }
  EXPECT_FALSE(AdsCompatSetFault(nullptr, kInjected));
  EXPECT_EQ(withObject(kAlicePath, [](IADs* o) { return getString(o, &IADs::get_Name); }), S_OK);
}

TEST_F(FaultTest, EnumerationElementThatIsNotADispatchReference) {
  ASSERT_TRUE(AdsCompatSetFault("IEnumVARIANT::Next:notDispatch", S_OK));
  withEnumerator("LDAP://OU=Staff,DC=corp,DC=example,DC=com", [](IEnumVARIANT* e) {
    Var element;
    ULONG fetched = 0;
    EXPECT_EQ(ADsEnumerateNext(e, 1, &element.v, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(element.v.vt, VT_I4);
    return S_OK;
  });
}

TEST_F(FaultTest, ValuesThatAreNotAnArrayOrHoldAnOddElement) {
  ASSERT_TRUE(AdsCompatSetFault("IADsPropertyEntry::get_Values:notArray", S_OK));
  withProperty(u"proxyAddresses", [](IADsPropertyEntry* entry) {
    Var values;
    EXPECT_EQ(entry->get_Values(&values.v), S_OK);
    EXPECT_EQ(values.v.vt, VT_BSTR);
    EXPECT_EQ(narrow(values.v.bstrVal), "SMTP:alice.smith@corp.example.com");
    return S_OK;
  });
  AdsCompatClearFaults();
  ASSERT_TRUE(AdsCompatSetFault("IADsPropertyEntry::get_Values:oddElement", S_OK));
  withProperty(u"objectClass", [](IADsPropertyEntry* entry) {  // four values
    Var values;
    EXPECT_EQ(entry->get_Values(&values.v), S_OK);
    EXPECT_EQ(values.v.vt, VT_ARRAY | VT_VARIANT);
    VARIANT* elements = nullptr;
    SafeArrayAccessData(values.v.parray, reinterpret_cast<void**>(&elements));
    EXPECT_EQ(elements[0].vt, VT_DISPATCH);
    EXPECT_EQ(elements[1].vt, VT_DISPATCH);
    EXPECT_EQ(elements[2].vt, VT_I4);
    EXPECT_EQ(elements[3].vt, VT_DISPATCH);
    SafeArrayUnaccessData(values.v.parray);
    return S_OK;
  });
}

}  // namespace
