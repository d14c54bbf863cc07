// Parameter intake: by name or by position, defaults, type and length
// checks, the scope keyword and the field-name list.
#include <gtest/gtest.h>

#include <memory>

#include "entry/request.h"
#include "errors/failures.h"
#include "opends_host.h"
#include "procedure_call.h"

namespace {

class Intake {
 public:
  explicit Intake(const std::vector<Parameter>& parameters) : connection_(OdsHostCreate(), OdsHostDestroy) {
    for (const Parameter& p : parameters)
      OdsHostAddParam(connection_.get(), p.name ? p.name->c_str() : nullptr, p.type,
                      p.bytes ? p.bytes->data() : nullptr, p.bytes ? static_cast<int>(p.bytes->size()) : 0);
    request = std::make_unique<Request>(connection_.get());
  }

  // The text of the error-text failure intake raises ("" when it succeeds).
  std::string failure() {
    try {
      if (!request->readParameters()) return request->errorText;
    } catch (const ErrorText& error) {
      return error.text;
    }
    return "";
  }

  std::vector<std::string> columnNames() const {
    std::vector<std::string> names;
    for (const ColumnInfo& c : request->table.columns) names.push_back(c.name);
    return names;
  }

  std::unique_ptr<Request> request;

 private:
  std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)> connection_;
};

Parameter typed(BYTE type, std::string bytes) { return Parameter{std::nullopt, type, std::move(bytes)}; }

TEST(Parameters, OnePositionalValueTakesTheDefaults) {
  Intake intake({value("LDAP://DC=corp")});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->adsPath, "LDAP://DC=corp");
  EXPECT_EQ(intake.request->filter, "");
  EXPECT_EQ(intake.request->fieldNames, "*");
  EXPECT_EQ(intake.request->childObjects, 0);
  EXPECT_EQ(intake.request->groupMembers, 0);
  EXPECT_TRUE(intake.request->table.columns.empty());
}

TEST(Parameters, NamedAdsPathAloneTakesTheDefaults) {
  Intake intake({named("@adspath", "LDAP://x")});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->filter, "");
  EXPECT_EQ(intake.request->fieldNames, "*");
}

TEST(Parameters, PositionalValuesFollowTheirOrder) {
  Intake intake({value("LDAP://x"), value("(cn=a)"), value("cn,mail"), value("get_group_members")});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->filter, "(cn=a)");
  EXPECT_EQ(intake.columnNames(), (std::vector<std::string>{"cn", "mail"}));
  EXPECT_EQ(intake.request->groupMembers, 1);
  EXPECT_EQ(intake.request->childObjects, 0);
}

TEST(Parameters, NamesOutrankPositions) {
  Intake intake({named("@scope", "GET_CHILD_OBJECTS"), named("@field_names", "cn"), named("@ADSPATH", "LDAP://y")});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->adsPath, "LDAP://y");
  EXPECT_EQ(intake.request->childObjects, 1);
  // A positional first value beside a named scope is a call by name without @adspath.
  EXPECT_EQ(Intake({value("LDAP://x"), named("@scope", "GET_OBJECT_LIST")}).failure(), "Wrong parameters. ");
}

TEST(Parameters, OtherNamesMakeACallPositional) {
  Intake intake({named("@path", "LDAP://x"), named("@what", "(cn=*)")});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->adsPath, "LDAP://x");
  EXPECT_EQ(intake.request->filter, "(cn=*)");
}

TEST(Parameters, FilterWithoutAdsPathIsRefused) {
  EXPECT_EQ(Intake({named("@filter", "(cn=*)")}).failure(), "Wrong parameters. ");
}

TEST(Parameters, SpaceNullAndEmptyReadAsEmpty) {
  for (const Parameter& empty : {value(" "), nullValue(), value("")}) {
    Intake intake({value("LDAP://x"), empty});
    ASSERT_EQ(intake.failure(), "");
    EXPECT_EQ(intake.request->filter, "");
  }
  EXPECT_EQ(Intake({value("LDAP://x"), value(""), value(" ")}).failure(), "Parameter 3 can not be empty.");
  EXPECT_EQ(Intake({value("LDAP://x"), value(""), nullValue()}).failure(), "Parameter 3 can not be empty.");
  EXPECT_EQ(Intake({value("LDAP://x"), value(""), value("*"), value("")}).failure(),
            "Wrong parameters. \nWrong parameter @scope.");
}

TEST(Parameters, LengthLimitIs511Bytes) {
  Intake accepted({value(std::string(511, 'a'))});
  ASSERT_EQ(accepted.failure(), "");
  EXPECT_EQ(accepted.request->adsPath.size(), 511u);
  EXPECT_EQ(Intake({value(std::string(512, 'a'))}).failure(), "Wrong parameter @adspath. Parameter too long.");
  EXPECT_EQ(Intake({value("x"), value(std::string(600, 'f'))}).failure(),
            "Wrong parameter @filter.Parameter too long.");
}

TEST(Parameters, OnlyCharacterTypesAreAccepted) {
  EXPECT_EQ(Intake({typed(SRVNVARCHAR, std::string("x\0", 2))}).failure(),
            "Wrong parameter @adspath. Parameter data type is wrong.");
  // The type is tested before the length.
  EXPECT_EQ(Intake({typed(SRVNVARCHAR, std::string(1000, 'x'))}).failure(),
            "Wrong parameter @adspath. Parameter data type is wrong.");
  EXPECT_EQ(Intake({value("x"), value(""), typed(SRVINT4, "1234")}).failure(),
            "Wrong parameter @field_names.Parameter data type is wrong.");
  EXPECT_EQ(Intake({value("x"), value(""), value("*"), typed(SRVNVARCHAR, "G\0")}).failure(),
            "Wrong parameter @scope.Parameter data type is wrong.");
  Intake fixedChar({typed(SRVCHAR, "LDAP://x")});
  EXPECT_EQ(fixedChar.failure(), "");
}

TEST(Parameters, ValueEndsAtItsFirstZeroByte) {
  Intake intake({value(std::string("LDAP://x\0junk", 13))});
  ASSERT_EQ(intake.failure(), "");
  EXPECT_EQ(intake.request->adsPath, "LDAP://x");
}

TEST(Parameters, ScopeKeywordsIgnoreCase) {
  Intake group({value("x"), value(""), value("*"), value("get_group_members")});
  ASSERT_EQ(group.failure(), "");
  EXPECT_EQ(group.request->groupMembers, 1);
  Intake children({value("x"), value(""), value("*"), value("Get_Child_Objects")});
  ASSERT_EQ(children.failure(), "");
  EXPECT_EQ(children.request->childObjects, 1);
  Intake list({value("x"), value(""), value("*"), value("GET_OBJECT_LIST")});
  ASSERT_EQ(list.failure(), "");
  EXPECT_EQ(list.request->childObjects + list.request->groupMembers, 0);
  EXPECT_EQ(Intake({value("x"), value(""), value("*"), value("GET_OBJECTS")}).failure(),
            "Wrong parameters. \nWrong parameter @scope.");
  EXPECT_EQ(Intake({value("x"), value(""), value("*"), value("GET_OBJECT_LIST ")}).failure(),
            "Wrong parameters. \nWrong parameter @scope.");
}

TEST(Parameters, FifthPositionalValueIsAWrongCount) {
  const std::string usage =
      "Usage:\nexec master..quarlix \t{[@adspath =]'adspath'}\n\t\t\t[, [@filter =] 'filter']\n"
      "\t\t\t[, [@field_names =] 'name1[,...n]']\n\t\t\t[, [@scope =] 'scope']\n";
  Intake intake({value("a"), value("b"), value("c"), value("GET_OBJECT_LIST"), value("e")});
  EXPECT_EQ(intake.failure(), "Wrong count of parameters.\n" + usage);
  EXPECT_EQ(Intake({value("a"), value("b"), value("c"), value("d"), value("e"), value("f"), value("g")}).failure(),
            "Wrong count of parameters.\n" + usage);
  // By name, parameters beyond the four are ignored as before.
  Intake byName({named("@adspath", "LDAP://x"), named("@extra", "1"), named("@more", "2"), value("3"), value("4")});
  EXPECT_EQ(byName.failure(), "");
  EXPECT_EQ(byName.request->adsPath, "LDAP://x");
}

TEST(Parameters, LongCharacterTypesAreAcceptedLikeTheShortOnes) {
  Intake longVarchar({typed(SRVBIGVARCHAR, "LDAP://x"), typed(SRVBIGVARCHAR, "(cn=a)")});
  ASSERT_EQ(longVarchar.failure(), "");
  EXPECT_EQ(longVarchar.request->adsPath, "LDAP://x");
  EXPECT_EQ(longVarchar.request->filter, "(cn=a)");
  Intake longest({typed(SRVBIGVARCHAR, std::string(511, 'a'))});
  ASSERT_EQ(longest.failure(), "");
  EXPECT_EQ(longest.request->adsPath.size(), 511u);
  EXPECT_EQ(Intake({typed(SRVBIGVARCHAR, std::string(512, 'a'))}).failure(),
            "Wrong parameter @adspath. Parameter too long.");
  EXPECT_EQ(Intake({typed(SRVBIGCHAR, std::string(512, ' '))}).failure(),
            "Wrong parameter @adspath. Parameter too long.");
  EXPECT_EQ(Intake({value("x"), typed(SRVNCHAR, std::string("(\0", 2))}).failure(),
            "Wrong parameter @filter.Parameter data type is wrong.");
}

TEST(Parameters, FixedLengthValuesLoseTheirPaddingBlanks) {
  for (BYTE type : {SRVCHAR, SRVBIGCHAR}) {
    Intake intake(
        {typed(type, "LDAP://x  "), typed(type, "   "), typed(type, "mail  "), typed(type, "GET_GROUP_MEMBERS   ")});
    ASSERT_EQ(intake.failure(), "") << int(type);
    EXPECT_EQ(intake.request->adsPath, "LDAP://x");
    EXPECT_EQ(intake.request->filter, "");
    EXPECT_EQ(intake.columnNames(), std::vector<std::string>{"mail"});
    EXPECT_EQ(intake.request->groupMembers, 1);
    // Only trailing blanks are padding.
    Intake inner({typed(type, " LDAP://a b \t "), value(""), typed(type, " cn, mail ")});
    ASSERT_EQ(inner.failure(), "");
    EXPECT_EQ(inner.request->adsPath, " LDAP://a b \t");
    EXPECT_EQ(inner.columnNames(), (std::vector<std::string>{" cn", " mail"}));
  }
  // A variable-length value keeps its blanks, so a keyword followed by one is
  // not a keyword there.
  EXPECT_EQ(Intake({value("x"), value(""), value("*"), value("GET_GROUP_MEMBERS ")}).failure(),
            "Wrong parameters. \nWrong parameter @scope.");
  Intake varchar({value("x"), value(""), typed(SRVVARCHAR, "mail  ")});
  ASSERT_EQ(varchar.failure(), "");
  EXPECT_EQ(varchar.columnNames(), std::vector<std::string>{"mail  "});
}

TEST(FieldNames, PiecesBecomeColumnsLiterally) {
  struct Case {
    std::string text;
    std::vector<std::string> columns;
  };
  const Case cases[] = {
      {"cn,mail,description", {"cn", "mail", "description"}},
      {"cn, mail", {"cn", " mail"}},
      {"cn,,mail", {"cn", "", "mail"}},
      {"cn,", {"cn", ""}},
      {"cn,*", {"cn", "*"}},
      {" *", {" *"}},
      {"CN", {"CN"}},
      {",", {"", ""}},
      {"*", {}},
  };
  for (const Case& c : cases) {
    Intake intake({value("x"), value(""), value(c.text)});
    ASSERT_EQ(intake.failure(), "") << c.text;
    EXPECT_EQ(intake.columnNames(), c.columns) << c.text;
    for (const ColumnInfo& column : intake.request->table.columns) {
      EXPECT_FALSE(column.binary);
      EXPECT_EQ(column.maxLength, 0);
      EXPECT_EQ(column.wideName.length(), column.name.size());
    }
  }
}

TEST(FieldNames, SecondParseKeepsOnlyItsOwnColumns) {
  Intake intake({value("x"), value(""), value("a,b,c")});
  ASSERT_EQ(intake.failure(), "");
  intake.request->fieldNames = "d";
  ASSERT_TRUE(intake.request->parseFieldNames());
  EXPECT_EQ(intake.columnNames(), std::vector<std::string>{"d"});
  intake.request->fieldNames = "";
  EXPECT_FALSE(intake.request->parseFieldNames());
  EXPECT_TRUE(intake.request->table.columns.empty());
}

TEST(FieldNames, NonAsciiNamesConvertToUtf16) {
  Intake intake({value("x"), value(""), value("n\xC3\xA4me,b")});  // "näme" in UTF-8
  ASSERT_EQ(intake.failure(), "");
  const ColumnInfo& column = intake.request->table.columns[0];
  EXPECT_EQ(column.name, "n\xC3\xA4me");
  ASSERT_EQ(column.wideName.length(), 4u);
  EXPECT_EQ(column.wideName.get()[1], 0xE4);
}

}  // namespace
