// The statement grammar with the server's catalog as its vocabulary: how
// batches split into statements, what each statement and EXEC value holds,
// where it is in the client's text, and the error a server gives for what
// cannot be read. Also the prepared statement table and the
// transaction-manager request reader.
#include "sql/catalog.h"
#include "sql/session_state.h"
#include "tds/byte_reader.h"
#include "tds/tds_constants.h"
#include "tds/transaction_request.h"
#include "tsql/parser.h"

#include <gtest/gtest.h>

namespace {

using Kind = tsql::Statement::Kind;

tsql::Batch parse(const std::string& text) { return tsql::parseBatch(text, sql::Catalog::instance()); }

std::vector<Kind> kinds(const std::string& text) {
  tsql::Batch batch = parse(text);
  EXPECT_FALSE(batch.error) << text << ": " << batch.error->message;
  std::vector<Kind> out;
  for (const tsql::Statement& s : batch.statements) out.push_back(s.kind);
  return out;
}

tsql::BatchError errorOf(const std::string& text) {
  tsql::Batch batch = parse(text);
  EXPECT_TRUE(batch.error) << text;
  EXPECT_TRUE(batch.statements.empty()) << text;
  return batch.error.value_or(tsql::BatchError{});
}

// The values of the batch's one EXEC, as "kind:text" (and the name for @name = value).
std::vector<std::string> valuesOf(const std::string& text) {
  tsql::Batch batch = parse(text);
  EXPECT_FALSE(batch.error) << text << ": " << (batch.error ? batch.error->message : "");
  std::vector<std::string> out;
  if (batch.statements.empty()) return out;
  static const char* const kinds[] = {"text", "ntext", "null", "number", "variable", "identifier"};
  for (const tsql::ExecValue& v : batch.statements[0].values)
    out.push_back((v.name ? *v.name + "=" : std::string()) + kinds[static_cast<int>(v.kind)] + ":" + v.text +
                  (v.output ? " output" : ""));
  return out;
}

TEST(Grammar, StatementsFollowWithOrWithoutSeparatorsAndComments) {
  EXPECT_EQ(kinds(""), std::vector<Kind>{});
  EXPECT_EQ(kinds(" ;; -- nothing\n/* at /* all */ */"), std::vector<Kind>{});
  EXPECT_EQ(kinds("SET NOCOUNT ON; EXEC quarlix 'a'"), (std::vector<Kind>{Kind::Set, Kind::Exec}));
  EXPECT_EQ(kinds("-- why\n/* what */ EXEC quarlix 'a' SELECT 1"), (std::vector<Kind>{Kind::Exec, Kind::Select}));
  // jTDS's first batch, one statement a line.
  EXPECT_EQ(
      kinds("SELECT @@MAX_PRECISION\nSET TRANSACTION ISOLATION LEVEL READ COMMITTED\nSET IMPLICIT_TRANSACTIONS OFF\n"
            "SET QUOTED_IDENTIFIER ON\nSET TEXTSIZE 2147483647"),
      (std::vector<Kind>{Kind::Select, Kind::Set, Kind::Set, Kind::Set, Kind::Set}));
  // FreeTDS ODBC's at TDS 7.1: three statements, no separator.
  EXPECT_EQ(kinds("IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION"),
            (std::vector<Kind>{Kind::If, Kind::BeginTransaction}));
  EXPECT_EQ(kinds("begin tran t1 commit tran t1 rollback work; COMMIT"),
            (std::vector<Kind>{Kind::BeginTransaction, Kind::Commit, Kind::Rollback, Kind::Commit}));
  // A ';' or a comment inside a string is text.
  EXPECT_EQ(valuesOf("EXEC quarlix 'a;b--c/*d', N'it''s'"), (std::vector<std::string>{"text:a;b--c/*d", "ntext:it's"}));
}

TEST(Grammar, ExecValuesAreTypedWithCommentsAndNewLinesAnywhere) {
  const std::vector<std::string> expected = {"text:LDAP://a", "@filter=ntext:(cn=x)", "@x=null:NULL", "number:-5",
                                             "identifier:DEFAULT"};
  for (const char* text :
       {"EXEC quarlix 'LDAP://a', @filter = N'(cn=x)', @x = NULL, -5, DEFAULT",
        "EXEC quarlix 'LDAP://a', /* the filter */ @filter = N'(cn=x)', -- why\n@x=NULL,-/**/5,DEFAULT",
        "EXEC\nquarlix\n'LDAP://a'\n,\n@filter\n=\nN'(cn=x)'\n,@x=NULL,- 5,DEFAULT;"})
    EXPECT_EQ(valuesOf(text), expected) << text;
  tsql::Batch declared;
  const tsql::Declarations p1 = tsql::parseDeclarations("@P1 nvarchar(4000) OUTPUT, @P2 int");
  ASSERT_FALSE(p1.error);
  ASSERT_EQ(p1.variables.size(), 2u);
  EXPECT_EQ(p1.variables[0].name, "@p1");
  EXPECT_EQ(p1.variables[0].type, "nvarchar(4000)");
  EXPECT_TRUE(p1.variables[0].output);
  declared = tsql::parseBatch("EXEC quarlix @P1 OUTPUT, @scope = @p2", sql::Catalog::instance(), &p1);
  ASSERT_FALSE(declared.error);
  EXPECT_EQ(declared.statements[0].values[0].kind, tsql::ExecValue::Kind::Variable);
  EXPECT_EQ(declared.statements[0].values[0].text, "@p1");
  EXPECT_TRUE(declared.statements[0].values[0].output);
  EXPECT_EQ(tsql::parseDeclarations("@a int, @A int").error->number, 134);
  EXPECT_EQ(tsql::parseDeclarations("@a int,").error->number, 102);
  // A variable no declaration names is the whole batch's error.
  EXPECT_EQ(errorOf("EXEC quarlix @P3").number, 137);
  EXPECT_EQ(tsql::parseBatch("EXEC quarlix @P3", sql::Catalog::instance(), &p1).error->message,
            "Must declare the scalar variable \"@P3\".");
}

TEST(Grammar, PlacesAreTheClientsLinesAndOffsets) {
  const std::string text = "SET NOCOUNT ON\n/* two\nlines */ SELECT 1\n\n  EXEC quarlix\n 'a', -- x\n N'b'";
  tsql::Batch batch = parse(text);
  ASSERT_FALSE(batch.error);
  ASSERT_EQ(batch.statements.size(), 3u);
  EXPECT_EQ(batch.statements[0].place.line, 1u);
  EXPECT_EQ(batch.statements[1].place.line, 3u);
  EXPECT_EQ(batch.statements[1].place.offset, text.find("SELECT"));
  EXPECT_EQ(batch.statements[2].place.line, 5u);
  EXPECT_EQ(batch.statements[2].values.at(0).place.line, 6u);
  EXPECT_EQ(batch.statements[2].values.at(1).place.line, 7u);
  EXPECT_EQ(batch.statements[2].values.at(1).place.offset, text.find("N'b'"));
  // An error is where the grammar stopped, on its line.
  const tsql::BatchError error = errorOf("SELECT 1\nSELECT 2\n  EXEC quarlix 'a' 'b'");
  EXPECT_EQ(error.place.line, 3u);
  EXPECT_EQ(error.message, "Incorrect syntax near ''b''.");
  EXPECT_EQ(errorOf("SELECT 1 -- fine\n/* open\n").place.line, 2u);
}

TEST(Grammar, ProcedureNamesAndTheirValues) {
  for (const char* text :
       {"EXEC quarlix 'x'", "execute [quarlix] 'x'", "EXEC dbo.quarlix 'x'", "exec master.dbo.quarlix 'x'",
        "EXEC master..quarlix 'x'", "quarlix 'x'", "EXEC [master].[dbo].[quarlix] 'x'"}) {
    tsql::Batch batch = parse(text);
    ASSERT_FALSE(batch.error) << text;
    ASSERT_EQ(batch.statements.size(), 1u) << text;
    const std::string name = tsql::joinedName(batch.statements[0].procedure);
    EXPECT_TRUE(name == "quarlix" || name == "dbo.quarlix" || name == "master.dbo.quarlix" || name == "master..quarlix")
        << name;
    EXPECT_EQ(valuesOf(text), std::vector<std::string>{"text:x"});
  }
  tsql::Batch named = parse("EXEC quarlix @adspath = 'a', @scope = N'b', @x = NULL;\nSELECT 1");
  ASSERT_EQ(named.statements.size(), 2u);
  EXPECT_EQ(valuesOf("EXEC quarlix @adspath = 'a', @scope = N'b', @x = NULL;\nSELECT 1"),
            (std::vector<std::string>{"@adspath=text:a", "@scope=ntext:b", "@x=null:NULL"}));
  EXPECT_EQ(tsql::joinedName(parse("EXEC sp_server_info").statements.at(0).procedure), "sp_server_info");
  EXPECT_TRUE(parse("EXEC quarlix").statements.at(0).values.empty());
  // A bare name is an EXEC only as the first statement, as on a server.
  EXPECT_EQ(errorOf("SET NOCOUNT ON quarlix 'x'").number, 102);
  EXPECT_EQ(errorOf("EXEC quarlix 'a' 'b'").number, 102);
  EXPECT_EQ(errorOf("EXEC quarlix 'a',").number, 102);
  EXPECT_EQ(errorOf("EXEC").number, 102);
}

TEST(Grammar, SetOptionsAndValues) {
  tsql::Batch batch = parse(
      "SET ANSI_NULLS, ANSI_WARNINGS ON SET TEXTSIZE 2147483647 "
      "set transaction isolation level read committed SET LOCK_TIMEOUT -1 SET LANGUAGE N'us_english'");
  ASSERT_FALSE(batch.error) << batch.error->message;
  ASSERT_EQ(batch.statements.size(), 5u);
  EXPECT_EQ(batch.statements[0].options, (std::vector<std::string>{"ansi_nulls", "ansi_warnings"}));
  EXPECT_EQ(batch.statements[0].value, "on");
  EXPECT_EQ(batch.statements[1].value, "2147483647");
  EXPECT_EQ(batch.statements[2].options, std::vector<std::string>{"transaction"});
  EXPECT_EQ(batch.statements[2].value, "isolation level read committed");
  EXPECT_EQ(batch.statements[3].value, "-1");
  EXPECT_EQ(batch.statements[4].value, "us_english");
  EXPECT_EQ(errorOf("SET NOCOUNT").number, 102);
  EXPECT_EQ(errorOf("SET @x = 1").number, 137);
}

TEST(Grammar, SelectItemsAndTheirNames) {
  tsql::Batch batch = parse(
      "SELECT 1, -2 AS minus, 'a' b, N'ü' [c d], NULL, @@VERSION, db_name(), "
      "SERVERPROPERTY('ProductVersion') AS 'v', (@@TRANCOUNT)");
  ASSERT_FALSE(batch.error) << batch.error->message;
  const std::vector<tsql::SelectItem>& items = batch.statements.at(0).items;
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(items[1].value.text, "-2");
  EXPECT_EQ(items[1].alias, "minus");
  EXPECT_EQ(items[2].alias, "b");
  EXPECT_EQ(items[3].value.kind, tsql::Expression::Kind::NString);
  EXPECT_EQ(items[3].value.text, "ü");
  EXPECT_EQ(items[3].alias, "c d");
  EXPECT_EQ(items[4].value.kind, tsql::Expression::Kind::Null);
  EXPECT_EQ(items[5].value.kind, tsql::Expression::Kind::Global);
  EXPECT_EQ(items[5].value.text, "version");
  EXPECT_EQ(items[6].value.kind, tsql::Expression::Kind::Function);
  EXPECT_EQ(items[7].value.arguments.at(0).text, "ProductVersion");
  EXPECT_EQ(items[7].alias, "v");
  EXPECT_EQ(items[8].value.text, "trancount");
}

TEST(Grammar, CastAndConvertToTextAndWholeNumbers) {
  tsql::Batch batch = parse(
      "SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR), "
      "CONVERT(nvarchar(max), @@VERSION, 1), cast(1 as [int]), CONVERT(sysname, DB_NAME())");
  ASSERT_FALSE(batch.error) << batch.error->message;
  const std::vector<tsql::SelectItem>& items = batch.statements.at(0).items;
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].value.kind, tsql::Expression::Kind::Convert);
  EXPECT_EQ(items[0].value.text, "varchar");
  EXPECT_EQ(items[0].value.length, 0u);
  EXPECT_EQ(items[0].value.arguments.at(0).text, "serverproperty");
  EXPECT_EQ(items[1].value.text, "nvarchar");
  EXPECT_EQ(items[1].value.length, UINT32_MAX);
  EXPECT_EQ(items[1].value.arguments.at(0).text, "version");
  EXPECT_EQ(items[2].value.text, "int");
  EXPECT_EQ(items[3].value.text, "sysname");
  EXPECT_EQ(errorOf("SELECT CAST(1 AS money)").number, 243);
  EXPECT_EQ(errorOf("SELECT CAST(1 varchar)").number, 102);
  EXPECT_EQ(errorOf("SELECT CONVERT(varchar(10) 1)").number, 102);
  EXPECT_EQ(errorOf("SELECT SCHEMA_NAME(1, 2)").number, 174);
}

TEST(Grammar, WhatCannotRunGetsTheNumberAServerGives) {
  EXPECT_EQ(errorOf("SELECT 'abc").number, 105);
  EXPECT_EQ(errorOf("SELECT 1 /* open").number, 113);
  EXPECT_EQ(errorOf("SELECT @x").number, 137);
  EXPECT_EQ(errorOf("SELECT @@NO_SUCH_THING").number, 137);
  EXPECT_EQ(errorOf("SELECT no_such_function()").number, 195);
  EXPECT_EQ(errorOf("SELECT name").number, 207);
  EXPECT_EQ(errorOf("SELECT *").number, 263);
  EXPECT_EQ(errorOf("SELECT 1 +").number, 102);
  EXPECT_EQ(errorOf("DECLARE @x int").number, 50000);
  EXPECT_EQ(errorOf("EXEC quarlix 'a' INSERT INTO t VALUES (1)").number, 50000);
  EXPECT_EQ(errorOf("IF @@TRANCOUNT > 0").number, 102);
  EXPECT_EQ(errorOf("BEGIN").number, 102);
  EXPECT_EQ(errorOf("USE").number, 102);
  EXPECT_EQ(errorOf(")").message, "Incorrect syntax near ')'.");
  // Nesting has a bound, far above what clients send, far below the stack's.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "IF 1 = 1 ";
  EXPECT_EQ(errorOf(deep + "SELECT 1").number, 191);
  EXPECT_EQ(errorOf("SELECT " + std::string(100000, '(') + "1" + std::string(100000, ')')).number, 191);
  EXPECT_EQ(kinds("IF (((1))) = 1 IF 2 > 1 SELECT ((2))"), std::vector<Kind>{Kind::If});
  // The whole batch is refused: nothing of it runs.
  EXPECT_EQ(errorOf("EXEC quarlix 'a'; SELECT 'b").number, 105);
}

TEST(Grammar, ASelectFromAnyObjectNamesItWhateverItsColumnsAndConditions) {
  for (auto [text, object] :
       {std::pair{"SELECT 1 FROM sys.databases", "sys.databases"},
        std::pair{"SELECT name FROM sys.system_views WHERE name IN ('dm_exec_sessions', 'x')", "sys.system_views"},
        std::pair{"SELECT TOP 1 [INFORMATION_SCHEMA].[TABLES].[TABLE_NAME] FROM [INFORMATION_SCHEMA].[TABLES] "
                  "WHERE TABLE_NAME = (SELECT 'x') AND 1 = 1",
                  "INFORMATION_SCHEMA.TABLES"},
        std::pair{"select * from t", "t"}}) {
    tsql::Batch batch = parse(text);
    ASSERT_FALSE(batch.error) << text << ": " << batch.error->message;
    ASSERT_EQ(batch.statements.size(), 1u) << text;
    EXPECT_EQ(batch.statements[0].from, std::optional<std::string>(object)) << text;
  }
  EXPECT_EQ(kinds("SELECT a FROM t WHERE b = 1 SELECT 2"), (std::vector<Kind>{Kind::Select, Kind::Select}));
  EXPECT_EQ(errorOf("SELECT a FROM t WHERE (b = 1").number, 102);
}

TEST(PreparedStatementTable, HandlesAreBoundedAndFreedPerConnection) {
  PreparedStatements table;
  std::vector<std::int32_t> handles;
  for (size_t i = 0; i < PreparedStatements::kLimit; ++i) {
    std::optional<std::int32_t> handle = table.add(PreparedStatement{});
    ASSERT_TRUE(handle);
    handles.push_back(*handle);
  }
  EXPECT_FALSE(table.add(PreparedStatement{}));
  EXPECT_TRUE(table.remove(handles[3]));
  EXPECT_FALSE(table.remove(handles[3]));
  EXPECT_EQ(table.find(handles[3]), nullptr);
  EXPECT_NE(table.find(handles[4]), nullptr);
  std::optional<std::int32_t> again = table.add(PreparedStatement{});
  ASSERT_TRUE(again);
  EXPECT_EQ(std::count(handles.begin(), handles.end(), *again), 0);  // a freed handle is not handed out again at once
}

std::string transactionRequest(std::uint16_t type, std::string body) {
  std::string out("\x16\x00\x00\x00\x12\x00\x00\x00\x02\x00", 10);
  out += std::string(8, '\0') + std::string("\x01\x00\x00\x00", 4);
  out += static_cast<char>(type);
  out += static_cast<char>(type >> 8);
  return out + body;
}

TEST(TransactionRequests, BeginCommitRollbackAndTheRest) {
  using TR = tds::TransactionRequest;
  EXPECT_EQ(tds::parseTransactionRequest(transactionRequest(5, std::string("\x02\x00", 2)), tds::kVersion74).kind,
            TR::Kind::Begin);
  TR commit = tds::parseTransactionRequest(transactionRequest(7, std::string("\x00\x00", 2)), tds::kVersion74);
  EXPECT_EQ(commit.kind, TR::Kind::Commit);
  EXPECT_FALSE(commit.beginAfter);
  TR rollback =
      tds::parseTransactionRequest(transactionRequest(8, std::string("\x01t\x00\x01\x02\x00", 6)), tds::kVersion74);
  EXPECT_EQ(rollback.kind, TR::Kind::Rollback);
  EXPECT_TRUE(rollback.beginAfter);
  EXPECT_EQ(tds::parseTransactionRequest(transactionRequest(0, ""), tds::kVersion74).kind, TR::Kind::Other);
  EXPECT_THROW(tds::parseTransactionRequest(transactionRequest(5, std::string("\x02\x05", 2)), tds::kVersion74),
               tds::ProtocolError);  // a name longer than the message
  EXPECT_THROW(tds::parseTransactionRequest(std::string("\xFF\x00\x00\x00", 4), tds::kVersion74), tds::ProtocolError);
}

}  // namespace
