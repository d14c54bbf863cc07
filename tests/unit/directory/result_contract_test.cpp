// What a server can take from an answer: every cell fits the width its
// column is described with, wide columns go as text or image, a column is
// binary when any row's value is, and the text NULL is data.
#include <gtest/gtest.h>

#include "procedure_call.h"
#include "test_directory.h"

namespace {

class ResultContract : public DirectoryTest {};

constexpr int kVarchar = 0x27, kText = 0x23;
constexpr int kVarbinary = 0x25, kImage = 0x22;

std::string failureText(const CallResult& result) {
  return result.messages.empty() ? std::string("<no message>") : result.messages[0].text;
}

// Every cell of every row is no longer than its column's width (the stand-in
// host refuses a row that breaks this, so a lost row shows here too).
void expectCellsFit(const CallResult& result, size_t expectedRows) {
  ASSERT_EQ(result.rows.size(), expectedRows);
  ASSERT_EQ(result.dones.size(), 1u);
  EXPECT_EQ(result.dones[0].second, static_cast<int>(expectedRows));
  for (const auto& row : result.rows)
    for (size_t k = 0; k < row.size(); ++k)
      if (row[k]) {
        EXPECT_LE(static_cast<int>(row[k]->size()), result.columns.at(k).maxLength) << k;
      }
}

TEST_F(ResultContract, WidthsCountTheBytesOfTheCellOnEveryObjectRoad) {
  // Cy's description "Zoë" is three characters and four bytes.
  const CallResult object = callWith({path("CN=Cy Cole,OU=People"), "", "description"});
  ASSERT_EQ(object.returned, 0) << failureText(object);
  EXPECT_EQ(object.rows[0][0], Cell("Zo\xC3\xAB"));
  EXPECT_EQ(object.columns[0].maxLength, 4);
  expectCellsFit(object, 1);

  const CallResult members = callWith({path("CN=Trio,OU=Groups"), "", "cn,description", "GET_GROUP_MEMBERS"});
  ASSERT_EQ(members.returned, 0) << failureText(members);
  EXPECT_EQ(members.columns[1].maxLength, 5);  // "first"; Cy's four bytes fit
  expectCellsFit(members, 3);

  const CallResult children = callWith({path("OU=People"), "", "description", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(children.returned, 0) << failureText(children);
  EXPECT_EQ(children.rows[2][0], Cell("Zo\xC3\xAB"));
  expectCellsFit(children, 3);
}

TEST_F(ResultContract, ColumnsWiderThan8000BytesGoAsTextAndImageWithWholeCells) {
  const CallResult search = callWith({path("OU=Wide"), "(cn=Wide Values)", "cn,description,jpegPhoto"});
  ASSERT_EQ(search.returned, 0) << failureText(search);
  ASSERT_EQ(search.columns.size(), 3u);
  EXPECT_EQ(search.columns[0].type, kVarchar);
  EXPECT_EQ(search.columns[1].type, kText);
  EXPECT_EQ(search.columns[1].maxLength, 20000);
  EXPECT_EQ(search.columns[2].type, kImage);
  EXPECT_EQ(search.columns[2].maxLength, 100000);
  expectCellsFit(search, 1);
  EXPECT_EQ(search.rows[0][1], Cell(std::string(20000, 'd')));
  EXPECT_EQ(search.rows[0][2], Cell(std::string(100000, '\xA5')));

  // 5 000 values joined with "|": six bytes each.
  const CallResult object = callWith({path("CN=Wide Values,OU=Wide"), "", "otherMailbox,cn"});
  ASSERT_EQ(object.returned, 0) << failureText(object);
  EXPECT_EQ(object.columns[0].type, kText);
  EXPECT_EQ(object.columns[0].maxLength, 30000);
  expectCellsFit(object, 1);
  EXPECT_EQ(object.rows[0][0]->substr(0, 12), "v0000|v0001|");
  EXPECT_EQ(object.rows[0][0]->substr(29994), "v4999|");
}

TEST_F(ResultContract, AColumnIsBinaryWhenAnyRowCarriesBytes) {
  const CallResult search = callWith({path("OU=Wide"), "(|(cn=No Photo)(cn=With Photo))", "cn,thumbnailPhoto"});
  ASSERT_EQ(search.returned, 0) << failureText(search);
  ASSERT_EQ(search.rows.size(), 2u);
  EXPECT_EQ(search.rows[0][0], Cell("No Photo"));  // the first result has no photo
  EXPECT_EQ(search.rows[0][1], std::nullopt);
  EXPECT_EQ(search.columns[1].type, kVarbinary);
  EXPECT_EQ(search.rows[1][1], Cell(std::string("\x00\x01NULL\xFF", 7)));
  expectCellsFit(search, 2);
}

TEST_F(ResultContract, TheTextNullIsDataOnEveryRoad) {
  const CallResult search = callWith({path("OU=Wide"), "(cn=Null Text)", "description,objectGUID,mail"});
  ASSERT_EQ(search.returned, 0) << failureText(search);
  EXPECT_EQ(search.rows.at(0), (std::vector<Cell>{"NULL", "NULL", std::nullopt}));
  EXPECT_EQ(search.columns[1].type, kVarbinary);
  EXPECT_EQ(search.columns[2].maxLength, 4);  // an absent cell is as wide as before

  const CallResult object = callWith({path("CN=Null Text,OU=Wide"), "", "description,mail"});
  ASSERT_EQ(object.returned, 0) << failureText(object);
  EXPECT_EQ(object.rows.at(0), (std::vector<Cell>{"NULL", std::nullopt}));
  EXPECT_EQ(object.columns[1].maxLength, 4);

  const CallResult children = callWith({path("OU=Wide"), "", "cn,description", "GET_CHILD_OBJECTS"});
  ASSERT_EQ(children.returned, 0) << failureText(children);
  ASSERT_EQ(children.rows.size(), 5u);
  EXPECT_EQ(children.rows[1], (std::vector<Cell>{"Null Text", "NULL"}));
  EXPECT_EQ(children.rows[2], (std::vector<Cell>{"No Photo", std::nullopt}));
}

TEST_F(ResultContract, MoreThan4096ColumnsFailTheCallWithTheirCount) {
  const CallResult object = callWith({path("CN=Many Attributes,OU=Wide")});
  EXPECT_EQ(object.returned, 1);
  EXPECT_TRUE(object.columns.empty());
  EXPECT_TRUE(object.rows.empty());
  // objectClass, cn and a0000 .. a4999.
  EXPECT_EQ(failureText(object), "Too many columns: the answer has 5002 columns, a result set holds at most 4096.");
  const CallResult search = callWith({path("OU=Wide"), "(cn=Many Attributes)"});
  EXPECT_EQ(search.returned, 1);
  EXPECT_EQ(failureText(search), "Too many columns: the answer has 5003 columns, a result set holds at most 4096.");
}

}  // namespace
