// The directory search road, end to end through the procedure.
#include <gtest/gtest.h>

#include "adsi_compat.h"
#include "procedure_call.h"
#include "test_directory.h"

namespace {

class Search : public DirectoryTest {};

TEST_F(Search, NamedFieldsGiveOneCellPerColumn) {
  const CallResult result = callWith({path("OU=People"), "(objectClass=user)", "cn,mail"});
  ASSERT_EQ(result.returned, 0) << (result.messages.empty() ? "" : result.messages[0].text);
  ASSERT_EQ(result.columns.size(), 2u);
  EXPECT_EQ(result.columns[0].name, "cn");
  EXPECT_EQ(result.columns[1].name, "mail");
  EXPECT_EQ(result.columns[1].type, 0x27);
  EXPECT_GE(result.columns[1].maxLength, 4);
  EXPECT_EQ(result.columns[0].maxLength, 10);  // "Ann Archer"
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(result.rows[0], (std::vector<Cell>{"Ann Archer", std::nullopt}));
  EXPECT_EQ(result.rows[1], (std::vector<Cell>{"Bob Baker", "bob@test.example"}));
  EXPECT_EQ(result.rows[2][1], Cell("cy@test.example"));
  ASSERT_EQ(result.dones.size(), 1u);
  EXPECT_EQ(result.dones[0], std::make_pair(17, 3));
}

TEST_F(Search, AllFieldsComeFromTheFirstResult) {
  const CallResult result = callWith({path("OU=People"), "(objectClass=user)"});
  ASSERT_EQ(result.returned, 0);
  std::vector<std::string> names;
  for (const Column& column : result.columns) names.push_back(column.name);
  EXPECT_EQ(names, (std::vector<std::string>{"objectClass", "cn", "sn", "objectGUID", "description", "ADsPath"}));
  ASSERT_EQ(result.rows.size(), 3u);
  for (const auto& row : result.rows) EXPECT_EQ(row.size(), names.size());
  // Bob has no description and no GUID; his mail and telephone never appear.
  EXPECT_EQ(result.rows[1][result.column("description")], std::nullopt);
  EXPECT_EQ(result.rows[1][result.column("objectGUID")], std::nullopt);
  EXPECT_EQ(result.rows[2][result.column("ADsPath")], Cell("LDAP://CN=Cy Cole,OU=People,DC=test,DC=example"));
  // Only the first of several values.
  EXPECT_EQ(result.rows[0][result.column("objectClass")], Cell("top"));
}

TEST_F(Search, OctetStringOfTheFirstResultMakesABinaryColumn) {
  const CallResult result = callWith({path("OU=People"), "(objectClass=user)", "objectGUID,cn"});
  ASSERT_EQ(result.returned, 0);
  EXPECT_EQ(result.columns[0].type, 0x25);
  EXPECT_EQ(result.columns[0].maxLength, 16);
  EXPECT_EQ(result.rows[0][0], Cell(std::string("\0\1\2\3\4\5\6\7\x8\x9\xa\xb\xc\xd\xe\xf", 16)));
  EXPECT_EQ(result.columns[1].type, 0x27);
}

TEST_F(Search, MoreThanOnePageArrivesWholeAndInOrder) {
  const CallResult result = callWith({path("OU=Bulk"), "(cn=u*)", "cn"});
  ASSERT_EQ(result.returned, 0);
  ASSERT_EQ(result.rows.size(), 250u);
  for (int i = 0; i < 250; ++i) {
    char expected[8];
    std::snprintf(expected, sizeof expected, "u%03d", i);
    EXPECT_EQ(result.rows[i][0], Cell(expected));
  }
  EXPECT_EQ(result.dones[0], std::make_pair(17, 250));
}

TEST_F(Search, NoMatchIsAnEmptySuccess) {
  const CallResult all = callWith({path("OU=People"), "(cn=nobody)"});
  EXPECT_EQ(all.returned, 0);
  EXPECT_TRUE(all.columns.empty());
  EXPECT_TRUE(all.rows.empty());
  const CallResult named = callWith({path("OU=People"), "(cn=nobody)", "cn"});
  EXPECT_EQ(named.columns.size(), 1u);
  EXPECT_TRUE(named.rows.empty());
}

TEST_F(Search, UnboundBaseDescribesTheFailureCode) {
  const CallResult result = callWith({path("OU=Nowhere"), "(cn=*)", "cn"});
  EXPECT_EQ(result.returned, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].text, "\nError: There is no such object on the server.\r\n");
  EXPECT_EQ(result.messages[0].state, 1);
}

TEST_F(Search, BadFilterFails) {
  const CallResult result = callWith({path("OU=People"), "(cn=a", "cn"});
  EXPECT_EQ(result.returned, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_NE(result.messages[0].text.find("\n"), std::string::npos);
}

TEST_F(Search, ARowStatusThatIsNeitherSuccessNorTheEndFailsTheSearch) {
  ASSERT_TRUE(AdsCompatSetFault("IDirectorySearch::GetNextRow", static_cast<HRESULT>(0x8007203A)));
  const CallResult result = callWith({path("OU=Bulk"), "(cn=*)", "cn"});
  EXPECT_EQ(result.returned, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].text, "\nError: The server is not operational.\r\n");
}

TEST_F(Search, AColumnNameStatusThatIsNeitherSuccessNorTheEndFailsTheSearch) {
  ASSERT_TRUE(AdsCompatSetFault("IDirectorySearch::GetNextColumnName", E_FAIL));
  const CallResult result = callWith({path("OU=People"), "(cn=*)"});
  EXPECT_EQ(result.returned, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].text, "\nError: Unspecified error\r\n");
}

TEST_F(Search, ColumnsThatCannotBeReadAreNull) {
  ASSERT_TRUE(AdsCompatSetFault("IDirectorySearch::GetColumn", E_FAIL));
  const CallResult result = callWith({path("OU=People"), "(cn=*)", "cn"});
  ASSERT_EQ(result.returned, 0);
  ASSERT_EQ(result.rows.size(), 3u);
  for (const auto& row : result.rows) EXPECT_EQ(row[0], std::nullopt);
  EXPECT_EQ(result.columns[0].maxLength, 4);
}

TEST_F(Search, RefusedPageSizeFailsTheSearch) {
  ASSERT_TRUE(AdsCompatSetFault("IDirectorySearch::SetSearchPreference", E_INVALIDARG));
  const CallResult result = callWith({path("OU=People"), "(cn=*)", "cn"});
  EXPECT_EQ(result.returned, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].text, "\nError: The parameter is incorrect.\r\n");
}

}  // namespace
