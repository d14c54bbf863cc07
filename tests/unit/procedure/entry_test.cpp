// The call as the server makes it: one result set or exactly one error
// message with its done, and COM left as the host had it.
#include <gtest/gtest.h>

#include "procedure_call.h"
#include "win32_compat.h"

namespace {

const std::string kUsage =
    "Usage:\nexec master..quarlix \t{[@adspath =]'adspath'}\n\t\t\t[, [@filter =] 'filter']\n"
    "\t\t\t[, [@field_names =] 'name1[,...n]']\n\t\t\t[, [@scope =] 'scope']\n";

void expectOneFailure(const CallResult& result, int state, const std::string& text) {
  EXPECT_EQ(result.returned, 1);
  EXPECT_TRUE(result.columns.empty());
  EXPECT_TRUE(result.rows.empty());
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].number, 20001);
  EXPECT_EQ(result.messages[0].severity, 16);
  EXPECT_EQ(result.messages[0].state, state);
  EXPECT_EQ(result.messages[0].text, text);
  ASSERT_EQ(result.dones.size(), 1u);
  EXPECT_EQ(result.dones[0], std::make_pair(3, 0));
}

TEST(Entry, ReportsTheInterfaceVersion) { EXPECT_EQ(__GetXpVersion(), 0x07000000u); }

TEST(Entry, CallWithoutParametersGetsTheUsageText) {
  EXPECT_EQ(kUsage.size(), 146u);
  expectOneFailure(callProcedure({}), 1, "Wrong count of parameters.\n" + kUsage);
}

TEST(Entry, FivePositionalParametersGetTheUsageText) {
  expectOneFailure(callWith({"LDAP://x", "", "*", "GET_OBJECT_LIST", "extra"}), 1,
                   "Wrong count of parameters.\n" + kUsage);
}

TEST(Entry, ErrorTextReachesTheClientUnchanged) {
  expectOneFailure(callProcedure({named("@filter", "(cn=*)")}), 1, "Wrong parameters. ");
  expectOneFailure(callWith({"LDAP://x", "", ""}), 1, "Parameter 3 can not be empty.");
}

TEST(Entry, CallsShareNothing) {
  expectOneFailure(callWith({"LDAP://x", "", ""}), 1, "Parameter 3 can not be empty.");
  // A second failing call reports only its own text.
  expectOneFailure(callProcedure({named("@filter", "x")}), 1, "Wrong parameters. ");
}

TEST(Entry, ComIsBalancedOnEveryRoad) {
  const LONG before = Win32CompatComInitDepth();
  callProcedure({});
  callWith({"LDAP://x", "", "*", "GET_OBJECT_LIST", "extra"});
  callWith({"LDAP://DC=nowhere", "", "cn"});
  EXPECT_EQ(Win32CompatComInitDepth(), before);
}

TEST(Entry, LeavesTheHostsOwnApartmentAlone) {
  // The thread already belongs to the multithreaded apartment: the call's own
  // initialisation fails and must not undo the host's.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  callWith({"LDAP://DC=nowhere", "", "cn"});
  EXPECT_EQ(Win32CompatComInitDepth(), 1);
  CoUninitialize();
  EXPECT_EQ(Win32CompatComInitDepth(), 0);
}

}  // namespace
