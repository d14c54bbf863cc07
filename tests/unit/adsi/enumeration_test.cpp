// Container enumeration (with and without a class filter, paged) and group
// members.
#include "adsi_test_support.h"

namespace {

class EnumerationTest : public SampleTest {
 protected:
  // The names of the objects an enumerator yields, one Next at a time.
  static std::vector<std::string> names(IUnknown* enumObject) {
    std::vector<std::string> out;
    Ref<IEnumVARIANT> enumerator;
    EXPECT_EQ(enumObject->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid()), S_OK);
    if (!enumerator) return out;
    while (true) {
      Var element;
      ULONG fetched = 99;
      HRESULT hr = ADsEnumerateNext(enumerator.get(), 1, &element.v, &fetched);
      if (hr != S_OK) {
        EXPECT_EQ(hr, S_FALSE);
        EXPECT_EQ(fetched, 0u);
        break;
      }
      EXPECT_EQ(fetched, 1u);
      EXPECT_EQ(element.v.vt, VT_DISPATCH);
      Ref<IADs> object;
      EXPECT_EQ(element.v.pdispVal->QueryInterface(IID_IADs, object.putVoid()), S_OK);
      Bstr name;
      object->get_Name(name.put());
      out.push_back(name.utf8());
    }
    return out;
  }
  std::vector<std::string> children(const std::string& dn, std::vector<const char16_t*> classes = {}) {
    Ref<IADsContainer> container;
    EXPECT_EQ(bindPath("LDAP://" + dn, IID_IADsContainer, container), S_OK);
    if (!classes.empty()) {
      Var filter;
      EXPECT_EQ(ADsBuildVarArrayStr(const_cast<LPWSTR*>(reinterpret_cast<const WCHAR* const*>(classes.data())),
                                    static_cast<DWORD>(classes.size()), &filter.v),
                S_OK);
      EXPECT_EQ(container->put_Filter(filter.v), S_OK);
    }
    Ref<IUnknown> enumObject;
    EXPECT_EQ(container->get__NewEnum(enumObject.put()), S_OK);
    return enumObject ? names(enumObject.get()) : std::vector<std::string>();
  }
  // The enumerator of a group's members.
  static void memberEnumerator(const std::string& dn, Ref<IEnumVARIANT>& enumerator) {
    Ref<IADsGroup> group;
    ASSERT_EQ(bindPath("LDAP://" + dn, IID_IADsGroup, group), S_OK);
    Ref<IADsMembers> list;
    ASSERT_EQ(group->Members(list.put()), S_OK);
    Ref<IUnknown> enumObject;
    ASSERT_EQ(list->get__NewEnum(enumObject.put()), S_OK);
    ASSERT_EQ(enumObject->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid()), S_OK);
  }
  std::vector<std::string> members(const std::string& dn) {
    Ref<IEnumVARIANT> enumerator;
    memberEnumerator(dn, enumerator);
    return enumerator ? names(enumerator.get()) : std::vector<std::string>();
  }
};

const std::string kStaff = "OU=Staff,DC=corp,DC=example,DC=com";
const std::vector<std::string> kDepartments = {"OU=Sales",           "OU=Engineering", "OU=Finance", "OU=Marketing",
                                               "OU=Human Resources", "OU=Support",     "OU=Legal"};

TEST_F(EnumerationTest, ChildrenInDirectoryOrder) {
  std::vector<std::string> expected = kDepartments;
  expected.push_back("CN=Olivia Reed");
  EXPECT_EQ(children(kStaff), expected);
  EXPECT_EQ(children("OU=Computers,DC=corp,DC=example,DC=com").size(), 20u);
}

TEST_F(EnumerationTest, ClassFilterKeepsChildrenOfThoseClasses) {
  EXPECT_EQ(children(kStaff, {u"user"}), std::vector<std::string>{"CN=Olivia Reed"});
  EXPECT_EQ(children(kStaff, {u"ORGANIZATIONALUNIT"}), kDepartments);
  EXPECT_EQ(children(kStaff, {u"organizationalUnit", u"user"}).size(), 8u);
  EXPECT_EQ(children(kStaff, {u"computer"}), std::vector<std::string>{});
  // Computers are users too, by their object classes.
  EXPECT_EQ(children("OU=Computers,DC=corp,DC=example,DC=com", {u"user"}).size(), 20u);
  EXPECT_EQ(children("OU=Sales,OU=Staff,DC=corp,DC=example,DC=com", {u"contact"}),
            (std::vector<std::string>{"CN=Pat Partner", "CN=Sam Supplier"}));
}

TEST_F(EnumerationTest, LeavesEnumerateNothing) { EXPECT_EQ(children(kAlice), std::vector<std::string>{}); }

TEST_F(EnumerationTest, PageSizeOptionPagesTheEnumeration) {
  Ref<IADsContainer> container;
  ASSERT_EQ(bindPath("LDAP://" + kStaff, IID_IADsContainer, container), S_OK);
  Ref<IADsObjectOptions> options;
  ASSERT_EQ(container->QueryInterface(IID_IADsObjectOptions, options.putVoid()), S_OK);
  Var size;
  size.v.vt = VT_I4;
  size.v.lVal = 3;
  ASSERT_EQ(options->SetOption(ADS_OPTION_PAGE_SIZE, size.v), S_OK);
  Var readBack;
  ASSERT_EQ(options->GetOption(ADS_OPTION_PAGE_SIZE, &readBack.v), S_OK);
  EXPECT_EQ(readBack.v.lVal, 3);
  Var server;
  ASSERT_EQ(options->GetOption(ADS_OPTION_SERVERNAME, &server.v), S_OK);
  EXPECT_EQ(narrow(server.v.bstrVal), "corp.example.com");

  Ref<IUnknown> enumObject;
  ASSERT_EQ(container->get__NewEnum(enumObject.put()), S_OK);
  Ref<IEnumVARIANT> enumerator;
  ASSERT_EQ(enumObject->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid()), S_OK);
  LONG pages = AdsCompatPagesFetched();
  VARIANT batch[5];
  ULONG fetched = 0;
  ASSERT_EQ(enumerator->Next(5, batch, &fetched), S_OK);  // two pages of three
  EXPECT_EQ(fetched, 5u);
  EXPECT_EQ(AdsCompatPagesFetched() - pages, 2);
  for (VARIANT& v : batch) VariantClear(&v);
  ASSERT_EQ(enumerator->Next(5, batch, &fetched), S_FALSE);  // three left
  EXPECT_EQ(fetched, 3u);
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&batch[i]);
  EXPECT_EQ(AdsCompatPagesFetched() - pages, 4);  // the third, and the empty end
  ASSERT_EQ(enumerator->Reset(), S_OK);
  ASSERT_EQ(enumerator->Skip(7), S_OK);
  Var last;
  ASSERT_EQ(enumerator->Next(1, &last.v, nullptr), S_OK);
  Ref<IADs> ceo;
  ASSERT_EQ(last.v.pdispVal->QueryInterface(IID_IADs, ceo.putVoid()), S_OK);
  Bstr path;
  ceo->get_ADsPath(path.put());
  EXPECT_EQ(path.utf8(), "LDAP://CN=Olivia Reed," + kStaff);
}

TEST_F(EnumerationTest, ContainerOddsAndEnds) {
  Ref<IADsContainer> container;
  ASSERT_EQ(bindPath("LDAP://" + kStaff, IID_IADsContainer, container), S_OK);
  LONG count = 0;
  EXPECT_EQ(container->get_Count(&count), E_NOTIMPL);
  Var notAnArray;
  notAnArray.v.vt = VT_BSTR;
  notAnArray.v.bstrVal = SysAllocString(u"user");
  EXPECT_EQ(container->put_Filter(notAnArray.v), E_INVALIDARG);
  Ref<IDispatch> child;
  ASSERT_EQ(container->GetObject(const_cast<BSTR>(u"organizationalUnit"), const_cast<BSTR>(u"OU=Legal"), child.put()),
            S_OK);
  EXPECT_EQ(container->GetObject(nullptr, const_cast<BSTR>(u"OU=Nowhere"), child.put()),
            static_cast<HRESULT>(0x80072030));
}

TEST_F(EnumerationTest, GroupMembersInValueOrderNestedGroupsIncluded) {
  std::vector<std::string> team = members("CN=Engineering Team,OU=Groups,DC=corp,DC=example,DC=com");
  ASSERT_EQ(team.size(), 81u);  // 80 engineers and the Platform Engineers group
  EXPECT_EQ(team[0], "CN=Bob Jones");
  EXPECT_EQ(team[1], "CN=Jürgen Müller");
  EXPECT_EQ(team.back(), "CN=Platform Engineers");
  EXPECT_EQ(members("CN=All Staff,OU=Groups,DC=corp,DC=example,DC=com").size(), 8u);
  EXPECT_EQ(members("CN=Empty Project,OU=Groups,DC=corp,DC=example,DC=com"), std::vector<std::string>{});
}

TEST_F(EnumerationTest, MembersAreBoundObjectsThatAnswerAsTheirClass) {
  Ref<IEnumVARIANT> enumerator;
  ASSERT_NO_FATAL_FAILURE(memberEnumerator("CN=All Staff,OU=Groups,DC=corp,DC=example,DC=com", enumerator));
  Var first;
  ASSERT_EQ(enumerator->Next(1, &first.v, nullptr), S_OK);
  Ref<IADsGroup> nested;  // Sales Team, a group inside the group
  EXPECT_EQ(first.v.pdispVal->QueryInterface(IID_IADsGroup, nested.putVoid()), S_OK);
  ASSERT_EQ(enumerator->Skip(6), S_OK);
  Var ceo;
  ASSERT_EQ(enumerator->Next(1, &ceo.v, nullptr), S_OK);
  Ref<IADsGroup> notAGroup;
  EXPECT_EQ(ceo.v.pdispVal->QueryInterface(IID_IADsGroup, notAGroup.putVoid()), E_NOINTERFACE);
  Ref<IADs> user;
  ASSERT_EQ(ceo.v.pdispVal->QueryInterface(IID_IADs, user.putVoid()), S_OK);
  EXPECT_EQ(user->GetInfo(), S_OK);
}

TEST_F(EnumerationTest, AMemberNamingNothingFailsWhenRead) {
  mount(
      "dn: DC=t\nobjectClass: domain\n\n"
      "dn: CN=G,DC=t\nobjectClass: group\nmember: CN=Gone,DC=t\nmember: CN=Here,DC=t\n\n"
      "dn: CN=Here,DC=t\nobjectClass: user\n");
  std::vector<std::string> names = members("CN=G,DC=t");
  ASSERT_EQ(names, (std::vector<std::string>{"CN=Gone", "CN=Here"}));
  Ref<IEnumVARIANT> enumerator;
  ASSERT_NO_FATAL_FAILURE(memberEnumerator("CN=G,DC=t", enumerator));
  Var gone;
  ASSERT_EQ(enumerator->Next(1, &gone.v, nullptr), S_OK);
  Ref<IADs> object;
  ASSERT_EQ(gone.v.pdispVal->QueryInterface(IID_IADs, object.putVoid()), S_OK);
  EXPECT_EQ(object->GetInfo(), static_cast<HRESULT>(0x80072030));
  // A search below it has no base.
  Ref<IDirectorySearch> search;
  ASSERT_EQ(object->QueryInterface(IID_IDirectorySearch, search.putVoid()), S_OK);
  ADS_SEARCH_HANDLE handle = nullptr;
  EXPECT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(u"(cn=*)"), nullptr, 0xFFFFFFFF, &handle),
            static_cast<HRESULT>(0x80072030));
  EXPECT_EQ(handle, nullptr);
}

// Most members in one container (read with a listing of it), a few
// elsewhere, one naming nothing inside it and one named twice: every value
// gives its element, in value order, each with its own entry.
TEST_F(EnumerationTest, MembersGatheredInAContainerComeInValueOrder) {
  std::string ldif =
      "dn: DC=t\nobjectClass: domain\n\ndn: OU=P,DC=t\nobjectClass: organizationalUnit\n\n"
      "dn: OU=Q,DC=t\nobjectClass: organizationalUnit\n\n";
  for (int i = 0; i < 300; ++i)
    ldif +=
        "dn: CN=p" + std::to_string(i) + ",OU=P,DC=t\nobjectClass: user\ndescription: p" + std::to_string(i) + "\n\n";
  for (int i = 0; i < 3; ++i) ldif += "dn: CN=q" + std::to_string(i) + ",OU=Q,DC=t\nobjectClass: user\n\n";
  std::vector<std::string> expected;
  ldif += "dn: CN=G,DC=t\nobjectClass: group\n";
  for (int i = 299; i >= 0; --i) {
    std::string name = "CN=p" + std::to_string(i);
    if (i % 100 == 0) name = "CN=q" + std::to_string(i / 100) + ",OU=Q";
    if (i == 150) name = "CN=ghost";
    if (i == 7) name = "CN=p299";
    ldif += "member: " + name + (name.find("OU=Q") == std::string::npos ? ",OU=P,DC=t\n" : ",DC=t\n");
    expected.push_back(name.substr(0, name.find(',')));
  }
  mount(ldif + "\n");
  LONG pages = AdsCompatPagesFetched();
  EXPECT_EQ(members("CN=G,DC=t"), expected);
  EXPECT_GE(AdsCompatPagesFetched() - pages, 3);  // OU=P was listed, in pages of 100

  Ref<IEnumVARIANT> enumerator;
  ASSERT_NO_FATAL_FAILURE(memberEnumerator("CN=G,DC=t", enumerator));
  for (size_t i = 0; i < expected.size(); ++i) {
    Var element;
    ASSERT_EQ(enumerator->Next(1, &element.v, nullptr), S_OK);
    Ref<IADs> object;
    ASSERT_EQ(element.v.pdispVal->QueryInterface(IID_IADs, object.putVoid()), S_OK);
    if (expected[i] == "CN=ghost") {
      EXPECT_EQ(object->GetInfo(), static_cast<HRESULT>(0x80072030));
      continue;
    }
    ASSERT_EQ(object->GetInfo(), S_OK) << expected[i];
    if (expected[i][3] != 'p') continue;
    Var description;
    std::u16string name = u"description";
    ASSERT_EQ(object->Get(name.data(), &description.v), S_OK);
    EXPECT_EQ(narrow(description.v.bstrVal), expected[i].substr(3)) << i;
  }
}

}  // namespace
