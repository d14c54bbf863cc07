// The T-SQL EXEC line of -Q, read by the grammar.
#include "tsql/exec_query.h"

#include <gtest/gtest.h>

namespace {

std::vector<HostParameter> parsed(std::string_view line) {
  ParsedExecQuery result = readExecQuery(line);
  EXPECT_FALSE(result.error) << line << " -> " << (result.error ? describe(*result.error) : "");
  return result.parameters;
}

ExecQueryError failure(std::string_view line) {
  ParsedExecQuery result = readExecQuery(line);
  EXPECT_TRUE(result.error) << line;
  EXPECT_TRUE(result.parameters.empty());
  return result.error.value_or(ExecQueryError{});
}

TEST(ExecLine, PositionalNamedAndMixedParameters) {
  auto p = parsed("EXEC quarlix 'LDAP://dc=corp', '(cn=a*)'");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_FALSE(p[0].name);
  EXPECT_EQ(p[0].type, 0x27);
  EXPECT_EQ(p[0].value, "LDAP://dc=corp");
  EXPECT_EQ(p[1].value, "(cn=a*)");

  p = parsed("exec quarlix @filter='(x=1)' ,@ADSPATH = 'LDAP://a'");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].name, "@filter");
  EXPECT_EQ(p[1].name, "@ADSPATH");
  EXPECT_EQ(p[1].value, "LDAP://a");

  p = parsed("EXEC quarlix 'LDAP://a', @scope = 'GET_CHILD_OBJECTS'");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_FALSE(p[0].name);
  EXPECT_EQ(p[1].name, "@scope");

  EXPECT_TRUE(parsed("EXEC quarlix").empty());
  EXPECT_TRUE(parsed("  quarlix ;  ").empty());
}

TEST(ExecLine, QuotesNullAndNationalText) {
  auto p = parsed("EXEC quarlix 'it''s', '''', '', NULL, null, N'a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80', N''");
  ASSERT_EQ(p.size(), 7u);
  EXPECT_EQ(p[0].value, "it's");
  EXPECT_EQ(p[1].value, "'");
  EXPECT_EQ(p[2].value, "");  // empty, not NULL
  EXPECT_EQ(p[3].value, std::nullopt);
  EXPECT_EQ(p[3].type, 0x27);
  EXPECT_EQ(p[4].value, std::nullopt);
  EXPECT_EQ(p[5].type, 0xE7);
  // a, e-acute, euro sign, and U+1F600 as a surrogate pair, little-endian
  EXPECT_EQ(p[5].value, std::string("a\0\xe9\0\xac\x20\x3d\xd8\x00\xde", 10));
  EXPECT_EQ(p[6].type, 0xE7);
  EXPECT_EQ(p[6].value, "");
  // varchar keeps the bytes exactly as typed, valid UTF-8 or not
  p = parsed("EXEC quarlix '\xe9t\xc3\xa9'");
  EXPECT_EQ(p[0].value, "\xe9t\xc3\xa9");
}

TEST(ExecLine, ProcedureNamePrefixes) {
  for (const char* line : {"EXEC master..quarlix 'a'", "EXECUTE master.dbo.quarlix 'a'", "exec MASTER.DBO.QUARLIX 'a'",
                           "master..quarlix 'a';"})
    EXPECT_EQ(parsed(line).size(), 1u) << line;
  EXPECT_EQ(failure("EXEC master.quarlix 'a'").column, 6u);
  EXPECT_EQ(failure("EXEC xp_cmdshell 'a'").reason,
            "unknown procedure 'xp_cmdshell'; expected quarlix, master..quarlix or master.dbo.quarlix");
}

TEST(ExecLine, ErrorsSayWhere) {
  EXPECT_EQ(describe(failure("EXEC quarlix 'abc")), "column 14: unterminated string");
  EXPECT_EQ(describe(failure("EXEC quarlix 'a' 'b'")), "column 18: expected ',' or the end of the line, found '''");
  EXPECT_EQ(failure("EXEC quarlix 'a',").column, 18u);
  EXPECT_EQ(failure("EXEC quarlix 42").reason, "numbers are not accepted; quote the value as '...'");
  EXPECT_EQ(failure("EXEC quarlix @adspath 'a'").reason, "expected '=' after @adspath");
  EXPECT_EQ(failure("EXEC quarlix @ = 'a'").column, 14u);
  EXPECT_EQ(failure("EXEC quarlix @scope = 'x', 'a'").column, 28u);
  EXPECT_EQ(failure("EXEC quarlix 'a'; 'b'").reason, "unexpected text after ';'");
  EXPECT_EQ(failure("EXEC quarlix DEFAULT").reason, "expected a value ('text', N'text' or NULL), found 'DEFAULT'");
  EXPECT_EQ(failure("   ").column, 4u);
  EXPECT_EQ(failure("EXEC").reason, "expected the procedure name quarlix, found the end of the line");
  EXPECT_EQ(failure("EXEC quarlix N'\xff'").reason, "N'...' holds bytes that are not UTF-8");
  // Columns count characters: the two-byte e-acute is one.
  EXPECT_EQ(failure("EXEC quarlix '\xc3\xa9', 5").column, 19u);
}

TEST(ExecLine, CommentsAndNewLinesStandWhereSpaceMay) {
  const std::vector<HostParameter> plain = parsed("EXEC quarlix 'LDAP://a', '(cn=A B)', @scope = N'x'");
  for (const char* line : {"EXEC quarlix 'LDAP://a', /* filter */ '(cn=A B)', @scope = N'x'",
                           "EXEC quarlix 'LDAP://a', -- filter\n '(cn=A B)', @scope = N'x'",
                           "/* the call */\nEXEC\nquarlix\n'LDAP://a'\n,\n'(cn=A B)',@scope/**/=/**/N'x' -- done",
                           "EXEC quarlix 'LDAP://a', '(cn=A B)', @scope = N'x'; -- and nothing else"}) {
    const std::vector<HostParameter> p = parsed(line);
    ASSERT_EQ(p.size(), plain.size()) << line;
    for (size_t i = 0; i < p.size(); ++i) {
      EXPECT_EQ(p[i].name, plain[i].name) << line;
      EXPECT_EQ(p[i].type, plain[i].type) << line;
      EXPECT_EQ(p[i].value, plain[i].value) << line;
    }
  }
  // Columns count in the line as typed, comments included.
  EXPECT_EQ(describe(failure("EXEC quarlix /* x */ 'a' 'b'")),
            "column 26: expected ',' or the end of the line, found '''");
  EXPECT_EQ(failure("EXEC quarlix 'a' /* open").reason, "missing end comment mark '*/'");
}

}  // namespace
