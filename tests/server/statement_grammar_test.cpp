// The statement grammar: how batches split into statements, what each
// statement holds, and the error a server gives for what cannot be read.
// Also the prepared statement table and the transaction-manager request reader.
#include "sql/session_state.h"
#include "sql/statement_grammar.h"
#include "tds/byte_reader.h"
#include "tds/tds_constants.h"
#include "tds/transaction_request.h"

#include <gtest/gtest.h>

namespace {

using Kind = sql::Statement::Kind;

std::vector<Kind> kinds(const std::string& text) {
  sql::Batch batch = sql::parseBatch(text);
  EXPECT_FALSE(batch.error) << text << ": " << batch.error->message;
  std::vector<Kind> out;
  for (const sql::Statement& s : batch.statements) out.push_back(s.kind);
  return out;
}

sql::BatchError errorOf(const std::string& text) {
  sql::Batch batch = sql::parseBatch(text);
  EXPECT_TRUE(batch.error) << text;
  EXPECT_TRUE(batch.statements.empty()) << text;
  return batch.error.value_or(sql::BatchError{});
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
  sql::Batch batch = sql::parseBatch("EXEC quarlix 'a;b--c/*d', N'it''s'");
  ASSERT_EQ(batch.statements.size(), 1u);
  EXPECT_EQ(batch.statements[0].arguments, "'a;b--c/*d', N'it''s'");
}

TEST(Grammar, ProcedureNamesAndTheirValues) {
  for (const char* text :
       {"EXEC quarlix 'x'", "execute [quarlix] 'x'", "EXEC dbo.quarlix 'x'", "exec master.dbo.quarlix 'x'",
        "EXEC master..quarlix 'x'", "quarlix 'x'", "EXEC [master].[dbo].[quarlix] 'x'"}) {
    sql::Batch batch = sql::parseBatch(text);
    ASSERT_FALSE(batch.error) << text;
    ASSERT_EQ(batch.statements.size(), 1u) << text;
    const std::string name = sql::joinedName(batch.statements[0].procedure);
    EXPECT_TRUE(name == "quarlix" || name == "dbo.quarlix" || name == "master.dbo.quarlix" || name == "master..quarlix")
        << name;
    EXPECT_EQ(batch.statements[0].arguments, "'x'");
  }
  sql::Batch named = sql::parseBatch("EXEC quarlix @adspath = 'a', @scope = N'b', @x = NULL;\nSELECT 1");
  ASSERT_EQ(named.statements.size(), 2u);
  EXPECT_EQ(named.statements[0].arguments, "@adspath = 'a', @scope = N'b', @x = NULL");
  EXPECT_EQ(sql::joinedName(sql::parseBatch("EXEC sp_server_info").statements.at(0).procedure), "sp_server_info");
  EXPECT_EQ(sql::parseBatch("EXEC quarlix").statements.at(0).arguments, "");
  // A bare name is an EXEC only as the first statement, as on a server.
  EXPECT_EQ(errorOf("SET NOCOUNT ON quarlix 'x'").number, 102);
  EXPECT_EQ(errorOf("EXEC quarlix 'a' 'b'").number, 102);
  EXPECT_EQ(errorOf("EXEC quarlix 'a',").number, 102);
  EXPECT_EQ(errorOf("EXEC").number, 102);
}

TEST(Grammar, SetOptionsAndValues) {
  sql::Batch batch = sql::parseBatch(
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
  sql::Batch batch = sql::parseBatch(
      "SELECT 1, -2 AS minus, 'a' b, N'ü' [c d], NULL, @@VERSION, db_name(), "
      "SERVERPROPERTY('ProductVersion') AS 'v', (@@TRANCOUNT)");
  ASSERT_FALSE(batch.error) << batch.error->message;
  const std::vector<sql::SelectItem>& items = batch.statements.at(0).items;
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(items[1].value.text, "-2");
  EXPECT_EQ(items[1].alias, "minus");
  EXPECT_EQ(items[2].alias, "b");
  EXPECT_EQ(items[3].value.kind, sql::Expression::Kind::NString);
  EXPECT_EQ(items[3].value.text, "ü");
  EXPECT_EQ(items[3].alias, "c d");
  EXPECT_EQ(items[4].value.kind, sql::Expression::Kind::Null);
  EXPECT_EQ(items[5].value.kind, sql::Expression::Kind::GlobalVariable);
  EXPECT_EQ(items[5].value.text, "version");
  EXPECT_EQ(items[6].value.kind, sql::Expression::Kind::Function);
  EXPECT_EQ(items[7].value.arguments.at(0).text, "ProductVersion");
  EXPECT_EQ(items[7].alias, "v");
  EXPECT_EQ(items[8].value.text, "trancount");
}

TEST(Grammar, CastAndConvertToTextAndWholeNumbers) {
  sql::Batch batch = sql::parseBatch(
      "SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR), "
      "CONVERT(nvarchar(max), @@VERSION, 1), cast(1 as [int]), CONVERT(sysname, DB_NAME())");
  ASSERT_FALSE(batch.error) << batch.error->message;
  const std::vector<sql::SelectItem>& items = batch.statements.at(0).items;
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].value.kind, sql::Expression::Kind::Convert);
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
  EXPECT_EQ(errorOf("SELECT 1 FROM sys.databases").number, 208);
  EXPECT_EQ(errorOf("SELECT 1 FROM sys.databases").message, "Invalid object name 'sys'.");
  EXPECT_EQ(errorOf("SELECT name").number, 207);
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
