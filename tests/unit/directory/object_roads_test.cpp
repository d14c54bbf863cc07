// The roads that open an object: its own properties, a group's members and a
// container's children, and how the dispatch chooses between them and the
// search.
#include <gtest/gtest.h>

#include "adsi_compat.h"
#include "procedure_call.h"
#include "test_directory.h"

namespace {

class Dispatch : public DirectoryTest {};
class ObjectRoad : public DirectoryTest {};
class GroupRoad : public DirectoryTest {};
class ChildRoad : public DirectoryTest {};

std::vector<std::string> columnNames(const CallResult& result) {
  std::vector<std::string> names;
  for (const Column& column : result.columns) names.push_back(column.name);
  return names;
}

std::vector<Cell> firstCells(const CallResult& result) {
  std::vector<Cell> cells;
  for (const auto& row : result.rows) cells.push_back(row.empty() ? Cell() : row[0]);
  return cells;
}

std::string failureText(const CallResult& result) {
  return result.messages.empty() ? std::string("<no message>") : result.messages[0].text;
}

const std::string kAnn = "CN=Ann Archer,OU=People";

TEST_F(Dispatch, FilterAndLdapPrefixSearchWhateverTheScope) {
  for (const char* scope : {"GET_OBJECT_LIST", "GET_GROUP_MEMBERS", "GET_CHILD_OBJECTS"}) {
    const CallResult result = callWith({path("OU=People"), "(objectClass=user)", "cn", scope});
    ASSERT_EQ(result.returned, 0) << scope << ": " << failureText(result);
    EXPECT_EQ(result.rows.size(), 3u) << scope;
  }
}

TEST_F(Dispatch, EmptyFilterReadsTheObjectItself) {
  const CallResult result = callWith({path(kAnn), "", "cn,sn"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0], (std::vector<Cell>{"Ann Archer", "Archer"}));
}

TEST_F(Dispatch, LowerCaseProviderIsNotSearched) {
  std::string lower = path(kAnn);
  lower.replace(0, 4, "ldap");
  const CallResult result = callWith({lower, "(objectClass=user)", "cn", "GET_OBJECT_LIST"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0][0], Cell("Ann Archer"));
}

TEST_F(Dispatch, ShortPathIsNeverSearched) {
  const CallResult result = callWith({"LDA", "(cn=*)", "cn"});
  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(failureText(result).rfind("Cannot create object. HR: ", 0), 0u) << failureText(result);
}

TEST_F(Dispatch, GroupRoadIgnoresTheFilterOnOtherPrefixes) {
  std::string gc = path("CN=Trio,OU=Groups");
  gc.replace(0, 4, "GC");
  const CallResult result = callWith({gc, "(cn=nobody)", "cn", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(result.rows.size(), 3u);
}

TEST_F(ObjectRoad, UnboundPathFailsWithTheWrappersText) {
  const CallResult result = callWith({path("CN=Nobody,OU=People"), "", "cn"});
  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(failureText(result), "Cannot create object. HR: 80072030");
}

TEST_F(ObjectRoad, SuccessWithoutAnObjectIsAFailure) {
  // A provider that answers S_OK and hands back nothing.
  ASSERT_TRUE(AdsCompatSetFault("ADsGetObject", S_OK));
  const CallResult object = callWith({path(kAnn), "", "cn"});
  EXPECT_EQ(failureText(object), "Cannot create object. HR: 80004003");
  const CallResult search = callWith({path("OU=People"), "(cn=*)", "cn"});
  EXPECT_EQ(failureText(search), "\nError: Invalid pointer\r\n");
}

TEST_F(ObjectRoad, StandardPropertiesComeFromTheObjectInAnyCase) {
  const CallResult result = callWith({path(kAnn), "", "name,ADSPATH,Class,guid,Parent,SCHEMA,objectGUID"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  ASSERT_EQ(result.rows.size(), 1u);
  const auto& row = result.rows[0];
  EXPECT_EQ(row[0], Cell("CN=Ann Archer"));
  EXPECT_EQ(row[1], Cell("LDAP://CN=Ann Archer,OU=People,DC=test,DC=example"));
  EXPECT_EQ(row[2], Cell("user"));
  EXPECT_EQ(row[3], Cell("000102030405060708090a0b0c0d0e0f"));
  EXPECT_EQ(row[4], Cell("LDAP://OU=People,DC=test,DC=example"));
  EXPECT_EQ(row[5], Cell("LDAP://schema/user"));
  // The cache's objectGUID is an octet string read up to its first zero byte.
  EXPECT_EQ(row[6], std::nullopt);
  EXPECT_EQ(result.columns[0].maxLength, 13);
}

TEST_F(ObjectRoad, MissingPropertyIsNullAndFailedGetterEmpty) {
  const CallResult result = callWith({path("CN=Bob Baker,OU=People"), "", "mail,description,GUID,telephoneNumber"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  const auto& row = result.rows[0];
  EXPECT_EQ(row[0], Cell("bob@test.example"));
  EXPECT_EQ(row[1], std::nullopt);
  // get_GUID fails for an object without one: an empty text, sent with
  // length 0.
  EXPECT_EQ(row[2], std::nullopt);
  EXPECT_EQ(result.columns[2].maxLength, 0);
  EXPECT_EQ(row[3], Cell("111|222|"));
  EXPECT_EQ(result.columns[1].maxLength, 4);
}

TEST_F(ObjectRoad, AllFieldsAreTheCachesPropertiesInOrder) {
  const CallResult result = callWith({path(kAnn)});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(columnNames(result), (std::vector<std::string>{"objectClass", "cn", "sn", "objectGUID", "description"}));
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0][0], Cell("top|person|organizationalPerson|user|"));
}

TEST_F(ObjectRoad, WidthsCountTheBytesOfTheCell) {
  const CallResult result = callWith({path("CN=Cy Cole,OU=People"), "", "description"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(result.rows[0][0], Cell("Zo\xC3\xAB"));  // four bytes in UTF-8
  EXPECT_EQ(result.columns[0].maxLength, 4);
}

TEST_F(ObjectRoad, PropertiesThatCannotBeLoadedFailTheCall) {
  ASSERT_TRUE(AdsCompatSetFault("IADs::GetInfo", E_ACCESSDENIED));
  const CallResult result = callWith({path(kAnn), "", "cn"});
  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(failureText(result), "\nError: Access is denied.\r\n");
}

TEST_F(ObjectRoad, ValuesThatAreNotAnArrayAreNull) {
  ASSERT_TRUE(AdsCompatSetFault("IADsPropertyEntry::get_Values:notArray", S_OK));
  const CallResult result = callWith({path(kAnn), "", "cn,Name"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(result.rows[0], (std::vector<Cell>{std::nullopt, "CN=Ann Archer"}));
}

TEST_F(GroupRoad, OneRowPerMemberInOrder) {
  const CallResult result = callWith({path("CN=Trio,OU=Groups"), "", "Name,mail", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(firstCells(result), (std::vector<Cell>{"CN=Ann Archer", "CN=Bob Baker", "CN=Cy Cole"}));
  EXPECT_EQ(result.rows[0][1], std::nullopt);
  EXPECT_EQ(result.rows[2][1], Cell("cy@test.example"));
}

TEST_F(GroupRoad, AllFieldsComeFromTheFirstMember) {
  const CallResult result = callWith({path("CN=Trio,OU=Groups"), "", "*", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(columnNames(result), (std::vector<std::string>{"objectClass", "cn", "sn", "objectGUID", "description"}));
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(result.rows[1][4], std::nullopt);  // Bob has no description; his mail is not shown
}

TEST_F(GroupRoad, EmptyGroupGivesNothing) {
  const CallResult result = callWith({path("CN=Empty,OU=Groups"), "", "*", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_TRUE(result.columns.empty());
  EXPECT_TRUE(result.rows.empty());
}

TEST_F(GroupRoad, NonGroupFailsWithTheFixedText) {
  const CallResult result = callWith({path(kAnn), "", "cn", "GET_GROUP_MEMBERS"});
  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(failureText(result), "Can not get IADsGroup.");
}

TEST_F(GroupRoad, AGroupMayBeAMember) {
  const CallResult result = callWith({path("CN=Outer,OU=Groups"), "", "cn", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(firstCells(result), std::vector<Cell>{"Trio"});
}

TEST_F(GroupRoad, MembersThatCannotBeLoadedAreLeftOut) {
  ASSERT_TRUE(AdsCompatSetFault("IEnumVARIANT::Next:notDispatch", S_OK));
  const CallResult result = callWith({path("CN=Trio,OU=Groups"), "", "cn", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_TRUE(result.rows.empty());
}

TEST_F(ChildRoad, OneRowPerChildInOrder) {
  const CallResult result = callWith({path("OU=Mixed"), "", "Name", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(firstCells(result), (std::vector<Cell>{"CN=m1", "CN=c1", "CN=m2", "OU=Sub", "CN=m3"}));
}

TEST_F(ChildRoad, ClassFilterKeepsThatClass) {
  std::string serverless = path("OU=Mixed");
  const CallResult computers = callWith({"ldap" + serverless.substr(4), "computer", "Name", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(computers.returned, 0) << failureText(computers);
  EXPECT_EQ(firstCells(computers), std::vector<Cell>{"CN=c1"});
  const CallResult units = callWith({"ldap" + serverless.substr(4), "organizationalUnit", "Name", "GET_CHILD_OBJECTS"});
  EXPECT_EQ(firstCells(units), std::vector<Cell>{"OU=Sub"});
}

TEST_F(ChildRoad, AllFieldsComeFromTheFirstChild) {
  const CallResult result = callWith({path("OU=Mixed"), "", "*", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_EQ(columnNames(result), (std::vector<std::string>{"objectClass", "cn", "sn"}));
  ASSERT_EQ(result.rows.size(), 5u);
  EXPECT_EQ(result.rows[1][2], std::nullopt);  // the computer has no sn; its dNSHostName is not shown
}

TEST_F(ChildRoad, EmptyContainerGivesNothing) {
  const CallResult result = callWith({path("OU=Sub,OU=Mixed"), "", "*", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_TRUE(result.columns.empty());
  EXPECT_TRUE(result.rows.empty());
}

TEST_F(ChildRoad, WithoutTheContainerInterfaceTheAnswerIsEmpty) {
  ASSERT_TRUE(AdsCompatSetFault("IADs::QueryInterface(IADsContainer)", E_NOINTERFACE));
  const CallResult result = callWith({path("OU=Mixed"), "", "Name", "GET_CHILD_OBJECTS"});
  EXPECT_EQ(result.returned, 0) << failureText(result);
  EXPECT_TRUE(result.rows.empty());
  EXPECT_TRUE(result.messages.empty());
}

TEST_F(ChildRoad, ChildrenThatCannotBeLoadedAreLeftOut) {
  ASSERT_TRUE(AdsCompatSetFault("IADs::GetInfo", E_ACCESSDENIED));
  const CallResult result = callWith({path("OU=Mixed"), "", "Name", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  EXPECT_TRUE(result.rows.empty());
}

// A walk that cannot start is no empty container: the call fails with the
// failure's description, whichever step refused.
TEST_F(ChildRoad, AWalkThatCannotStartFailsWithItsDescription) {
  const struct {
    const char* operation;
    HRESULT code;
    const char* text;
  } refusals[] = {
      {"IADsContainer::put_Filter", E_INVALIDARG, "\nError: The parameter is incorrect.\r\n"},
      {"IADsContainer::get__NewEnum", static_cast<HRESULT>(0x8007203A), "\nError: The server is not operational.\r\n"},
      {"IADsContainer::get__NewEnum", static_cast<HRESULT>(0x800705B4),
       "\nError: This operation returned because the timeout period expired.\r\n"},
  };
  for (const auto& refusal : refusals) {
    ASSERT_TRUE(AdsCompatSetFault(refusal.operation, refusal.code));
    const CallResult result = callWith({path("OU=Mixed").replace(0, 4, "ldap"), "user", "Name", "GET_CHILD_OBJECTS"});
    EXPECT_EQ(result.returned, 1) << refusal.operation;
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(failureText(result), refusal.text) << refusal.operation;
    AdsCompatClearFaults();
  }
  // Unfaulted, the same call lists the container's users.
  const CallResult listed = callWith({path("OU=Mixed").replace(0, 4, "ldap"), "user", "Name", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(listed.returned, 0) << failureText(listed);
  EXPECT_FALSE(listed.rows.empty());
}

// A walk the directory breaks off fails whole; an element that is not there
// or may not be read is still left out.
class BrokenWalk : public DirectoryTest {};

TEST_F(BrokenWalk, AFailedStepFailsTheListingWithItsDescription) {
  for (const char* scope : {"GET_CHILD_OBJECTS", "GET_GROUP_MEMBERS"}) {
    const std::string target = std::string(scope) == "GET_CHILD_OBJECTS" ? "OU=People" : "CN=Trio,OU=Groups";
    for (int skip : {0, 2}) {  // at once, and after two elements
      ASSERT_TRUE(AdsCompatSetFaultAfter("IEnumVARIANT::Next", static_cast<HRESULT>(0x8007203A), skip));
      const CallResult result = callWith({path(target), "", "cn", scope});
      EXPECT_EQ(result.returned, 1) << scope << " " << skip;
      EXPECT_TRUE(result.rows.empty());
      EXPECT_EQ(failureText(result), "\nError: The server is not operational.\r\n") << scope << " " << skip;
      AdsCompatClearFaults();
    }
  }
  ASSERT_TRUE(AdsCompatSetFault("IEnumVARIANT::Next", static_cast<HRESULT>(0x80040001)));
  const CallResult odd = callWith({path("OU=People"), "", "cn", "GET_CHILD_OBJECTS"});
  EXPECT_EQ(odd.returned, 1);
  EXPECT_TRUE(odd.messages.size() == 1 && !odd.messages[0].text.empty());
}

TEST_F(BrokenWalk, AnElementLostWithTheServerFailsTheListing) {
  for (HRESULT lost : {static_cast<HRESULT>(0x8007203A), static_cast<HRESULT>(0x800705B4), E_FAIL}) {
    ASSERT_TRUE(AdsCompatSetFaultAfter("IADs::GetInfo", lost, 1));
    const CallResult result = callWith({path("OU=People"), "", "cn", "GET_CHILD_OBJECTS"});
    EXPECT_EQ(result.returned, 1) << std::hex << lost;
    EXPECT_TRUE(result.rows.empty());
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text.rfind("\nError: ", 0), 0u) << result.messages[0].text;
    AdsCompatClearFaults();
  }
}

TEST_F(BrokenWalk, ElementsThatAreNotThereOrMayNotBeReadAreLeftOut) {
  for (HRESULT left : {static_cast<HRESULT>(0x80072030), E_ACCESSDENIED, static_cast<HRESULT>(0x8007200A)}) {
    ASSERT_TRUE(AdsCompatSetFaultAfter("IADs::GetInfo", left, 1));  // the second element's load
    const CallResult children = callWith({path("OU=People"), "", "cn", "GET_CHILD_OBJECTS"});
    ASSERT_EQ(children.returned, 0) << std::hex << left << ": " << failureText(children);
    EXPECT_EQ(firstCells(children), std::vector<Cell>{"Ann Archer"}) << std::hex << left;  // every later load fails
    AdsCompatClearFaults();
  }
}

}  // namespace

// RootDSE paths read the store's root DSE: how a DBA finds the path of the
// directory's naming context.
class RootDseRoad : public DirectoryTest {};

TEST_F(RootDseRoad, EveryFormNamesTheStoresNamingContext) {
  // The naming context of the directory the test mounted.
  const Cell namingContext = kRoot;
  for (const char* dse : {"LDAP://RootDSE", "LDAP://localhost/RootDSE", "GC://rootdse", "LDAP://localhost/rootDSE"}) {
    const CallResult result = callWith({dse, "", "defaultNamingContext,namingContexts,supportedLDAPVersion,ADsPath"});
    ASSERT_EQ(result.returned, 0) << dse << ": " << failureText(result);
    ASSERT_EQ(result.rows.size(), 1u) << dse;
    EXPECT_EQ(result.rows[0][0], namingContext) << dse;
    EXPECT_EQ(result.rows[0][1], namingContext) << dse;
    EXPECT_EQ(result.rows[0][2], Cell("3")) << dse;
    std::string expectedPath(dse);
    expectedPath.replace(expectedPath.size() - 7, 7, "RootDSE");
    EXPECT_EQ(result.rows[0][3], Cell(expectedPath)) << dse;
  }
}

TEST_F(RootDseRoad, AServerOfThatNameIsNotMeant) {
  // "RootDSE" alone is never a server: the default store answers.
  const CallResult result = callWith({"LDAP://RootDSE", "", "dnsHostName"});
  ASSERT_EQ(result.returned, 0) << failureText(result);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_TRUE(result.rows[0][0].has_value());
  // A DN that merely begins with the word is an ordinary (missing) object.
  const CallResult other = callWith({"LDAP://localhost/RootDSE2", "", "cn"});
  EXPECT_EQ(other.returned, 1);
}
