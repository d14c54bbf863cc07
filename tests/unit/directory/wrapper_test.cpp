// The object wrappers on their own: what they leave in their error text on
// each failure road, and where a walk leaves them.
#include <gtest/gtest.h>

#include "adsi_compat.h"
#include "directory/container_object.h"
#include "directory/group_object.h"
#include "platform/text_conversion.h"
#include "test_directory.h"
#include "win32_compat.h"

namespace {

class Wrapper : public DirectoryTest {
 protected:
  static UniqueBstr widePath(const std::string& relative) { return toWide(path(relative)); }
};

TEST_F(Wrapper, OpeningFailureNamesTheResultInUpperCaseHex) {
  DirObject missing(widePath("CN=Nobody"));
  EXPECT_FALSE(missing.adsObject);
  EXPECT_EQ(missing.errorText, "Cannot create object. HR: 80072030");
  DirObject malformed(toWide("LDAP://=,="));
  EXPECT_FALSE(malformed.adsObject);
  EXPECT_EQ(malformed.errorText.rfind("Cannot create object. HR: 8", 0), 0u) << malformed.errorText;
}

TEST_F(Wrapper, MissingContainerInterfaceIsNotedButConstructionSucceeds) {
  ASSERT_TRUE(AdsCompatSetFault("IADs::QueryInterface(IADsContainer)", E_NOINTERFACE));
  ContainerObject object(widePath("OU=Mixed"));
  EXPECT_TRUE(object.adsObject);
  EXPECT_FALSE(object.container);
  EXPECT_EQ(object.errorText, "\nCan not get interface. HR: 80004002");
  // The walk cannot start; next finds nothing.
  EXPECT_FALSE(object.startEnumeration(nullptr));
  EXPECT_FALSE(object.next());
}

TEST_F(Wrapper, RefusedPageSizeIsDescribed) {
  ASSERT_TRUE(AdsCompatSetFault("IADsObjectOptions::SetOption", E_NOTIMPL));
  ContainerObject object(widePath("OU=Mixed"));
  EXPECT_TRUE(object.container);
  EXPECT_EQ(object.errorText, "\nError: Not implemented\r\n");
}

TEST_F(Wrapper, WalkEndsWithTheDescriptionOfCodeOne) {
  ContainerObject object(widePath("OU=Mixed"));
  ASSERT_TRUE(object.startEnumeration(QX_WIDE("")));
  int children = 0;
  while (object.next()) {
    ASSERT_TRUE(object.attachCurrent());
    ++children;
  }
  EXPECT_EQ(children, 5);
  EXPECT_EQ(object.errorText, "\nError: Incorrect function.\r\n");
  // The wrapper now wraps the last child.
  UniqueBstr name;
  ASSERT_EQ(object.adsObject->get_Name(name.put()), S_OK);
  EXPECT_EQ(toNarrow(name), "CN=m3");
}

TEST_F(Wrapper, EndOfThePropertyListLeavesTheTextAlone) {
  ContainerObject object(widePath("CN=Ann Archer,OU=People"));
  ASSERT_TRUE(object.loadProperties());
  UniqueBstr name;
  int names = 0;
  while (object.nextPropertyName(name)) ++names;
  EXPECT_EQ(names, 5);
  EXPECT_EQ(object.errorText, "");
}

TEST_F(Wrapper, NonGroupLeavesExactlyTheFixedText) {
  GroupObject object(widePath("CN=Ann Archer,OU=People"));
  EXPECT_FALSE(object.startMemberEnumeration());
  EXPECT_EQ(object.errorText, "Can not get IADsGroup.");
}

TEST_F(Wrapper, EmptyGroupHasNoFirstMember) {
  GroupObject object(widePath("CN=Empty,OU=Groups"));
  ASSERT_TRUE(object.startMemberEnumeration());
  EXPECT_FALSE(object.next());
}

TEST_F(Wrapper, ElementThatIsNoObjectIsDescribedAndAppended) {
  ContainerObject object(widePath("OU=Mixed"));
  object.current.get().vt = VT_DISPATCH;
  object.current.get().pdispVal = nullptr;
  EXPECT_FALSE(object.attachCurrent());
  EXPECT_EQ(object.errorText, "\nError: Type mismatch.\r\n");
}

TEST_F(Wrapper, UnnamedFailureReplacesEverythingGatheredBefore) {
  ASSERT_TRUE(AdsCompatSetFault("IADs::QueryInterface(IADsContainer)", E_NOINTERFACE));
  ContainerObject object(widePath("OU=Mixed"));
  ASSERT_EQ(object.errorText, "\nCan not get interface. HR: 80004002");
  // The string layer runs out of memory copying the class name.
  SetLastError(0);
  Win32CompatFailAllocationsAfter(0);
  const bool started = object.startEnumeration(QX_WIDE("user"));
  Win32CompatFailAllocationsAfter(-1);
  EXPECT_FALSE(started);
  EXPECT_EQ(object.errorText, "Unexpected error.");
}

}  // namespace
