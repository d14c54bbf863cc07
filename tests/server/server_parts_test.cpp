// The server's parts between protocol and procedure: what a batch asks for,
// the parameters of RPC and sp_executesql requests, the logins file and the
// command line.
#include "batch_statement.h"
#include "call_parameters.h"
#include "code_page_text.h"
#include "logins.h"
#include "server_options.h"
#include "tds_constants.h"
#include "utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

std::string utf16(const std::string &utf8) {
  std::string out;
  utf8ToUtf16le(utf8, out);
  return out;
}

tds::RpcParameter rpcValue(std::string name, std::uint8_t type, std::optional<std::string> value) {
  return tds::RpcParameter{std::move(name), type, std::move(value)};
}

TEST(Batch, TellsTheStatementsApart) {
  EXPECT_EQ(classifyBatch("  exec quarlix 'x'"), BatchKind::Exec);
  EXPECT_EQ(classifyBatch("master..quarlix 'x'"), BatchKind::Exec);
  EXPECT_EQ(classifyBatch("set textsize 2147483647\nset quoted_identifier on\r\nSET ANSI_NULLS ON;"), BatchKind::Settings);
  EXPECT_EQ(classifyBatch("set nocount on\nselect 1"), BatchKind::Unsupported);
  EXPECT_EQ(classifyBatch("USE  [master] ;"), BatchKind::UseMaster);
  EXPECT_EQ(classifyBatch("use tempdb"), BatchKind::UseOther);
  EXPECT_EQ(classifyBatch("select  @@VERSION"), BatchKind::SelectVersion);
  EXPECT_EQ(classifyBatch("BEGIN TRAN"), BatchKind::NoTransaction);
  EXPECT_EQ(classifyBatch("IF @@TRANCOUNT > 0 COMMIT TRAN"), BatchKind::NoTransaction);
  EXPECT_EQ(classifyBatch("IF @@TRANCOUNT > 0 BEGIN TRAN"), BatchKind::Unsupported);
  EXPECT_EQ(classifyBatch("drop table x"), BatchKind::Unsupported);
}

class WithCodePage : public ::testing::Test {
 protected:
  const CodePageText text = *CodePageText::choose(1252);
};

TEST_F(WithCodePage, BatchLiteralsBecomeCodePageBytesOfTheLongVarcharType) {
  CallParameters call = parametersOfBatch("EXEC quarlix 'Müller', N'ü', NULL", text);
  ASSERT_TRUE(call.error.empty()) << call.error;
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[0].value, "M\xFCller");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);
  EXPECT_EQ(call.parameters[1].value, std::string("\xFC\x00", 2));
  EXPECT_FALSE(call.parameters[2].value);
  EXPECT_NE(parametersOfBatch("EXEC quarlix 'a' 'b'", text).error, "");
}

TEST_F(WithCodePage, RpcValuesKeepTheirOrderNamesAndTypes) {
  tds::RpcRequest request;
  request.procedureName = "Master.DBO.Quarlix";
  request.parameters = {rpcValue("", tds::kTypeBigChar, "LDAP://x"), rpcValue("@scope", tds::kTypeNVarChar, utf16("a"))};
  EXPECT_TRUE(namesTheProcedure(request.procedureName));
  CallParameters call = parametersOfRpc(request);
  ASSERT_EQ(call.parameters.size(), 2u);
  EXPECT_FALSE(call.parameters[0].name);
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigChar));
  EXPECT_EQ(call.parameters[1].name, "@scope");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);
  request.parameters.push_back(rpcValue("", tds::kTypeBigVarChar, "late"));
  EXPECT_NE(parametersOfRpc(request).error, "");
  EXPECT_FALSE(namesTheProcedure("tempdb..quarlix"));
}

TEST_F(WithCodePage, ExecuteSqlBindsDeclaredVariablesByNameAndPosition) {
  tds::RpcRequest request;
  request.procId = tds::kProcIdExecuteSql;
  request.parameters = {
      rpcValue("", tds::kTypeNVarChar, utf16("EXEC quarlix @P1, @filter = @P2, @field_names = 'cn'")),
      rpcValue("", tds::kTypeNVarChar, utf16("@P1 varchar(8000), @P2 decimal(10, 2)")),
      rpcValue("", tds::kTypeBigVarChar, "LDAP://x"),
      rpcValue("@p2", tds::kTypeNVarChar, utf16("(cn=*)")),
  };
  ASSERT_TRUE(namesExecuteSql(request));
  CallParameters call = parametersOfExecuteSql(request, text);
  ASSERT_TRUE(call.error.empty()) << call.error;
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_FALSE(call.parameters[0].name);
  EXPECT_EQ(call.parameters[0].value, "LDAP://x");
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[1].name, "@filter");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);  // the value's own type
  EXPECT_EQ(call.parameters[2].value, "cn");

  request.parameters[0] = rpcValue("", tds::kTypeNVarChar, utf16("EXEC quarlix @P9"));
  EXPECT_NE(parametersOfExecuteSql(request, text).error.find("@P9 is not declared"), std::string::npos);
  request.parameters[0] = rpcValue("", tds::kTypeNVarChar, utf16("SELECT * FROM t WHERE a = @P1"));
  EXPECT_NE(parametersOfExecuteSql(request, text).error, "");
}

std::string writeFile(const std::string &text) {
  char name[] = "/tmp/quarlix-logins-XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  FILE *f = fdopen(fd, "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  return name;
}

TEST(LoginsFile, VerifiesHashesAndRefusesMalformedLines) {
  std::string error;
  std::string alice = makeLoginLine("alice", "pässword", error);
  ASSERT_FALSE(alice.empty()) << error;
  EXPECT_EQ(alice.find("pässword"), std::string::npos);
  EXPECT_NE(alice, makeLoginLine("alice", "pässword", error));  // a new salt each time
  std::string path = writeFile("# logins\n\n" + alice + "\r\n" + makeLoginLine("bob", "", error) + "\n");
  std::optional<Logins> logins = Logins::load(path, error);
  ASSERT_TRUE(logins) << error;
  EXPECT_EQ(logins->size(), 2u);
  EXPECT_EQ(logins->verify("ALICE", "pässword"), "alice");
  EXPECT_FALSE(logins->verify("alice", "password"));
  EXPECT_FALSE(logins->verify("carol", "pässword"));
  EXPECT_EQ(logins->verify("bob", ""), "bob");
  std::remove(path.c_str());

  for (std::string bad : {std::string("alice:secret\n"), alice + "\n" + alice + "\n",
                          "x:pbkdf2-sha256:10:00112233445566778899aabbccddeeff:" + std::string(64, '0') + "\n",
                          "x:pbkdf2-sha256:100000:zz:" + std::string(64, '0') + "\n"}) {
    std::string file = writeFile(bad);
    error.clear();
    EXPECT_FALSE(Logins::load(file, error)) << bad;
    EXPECT_NE(error.find("line"), std::string::npos) << error;
    std::remove(file.c_str());
  }
  EXPECT_TRUE(makeLoginLine("a:b", "x", error).empty());
  EXPECT_FALSE(Logins::load("/nonexistent/logins", error));
}

TEST(CommandLine, RequiresListenAndLoginsAndChecksValues) {
  ServerOptions options;
  std::string error;
  ASSERT_TRUE(parseServerOptions({"--listen", "[::1]:1433", "--logins", "f", "--max-connections", "5"}, options, error)) << error;
  EXPECT_EQ(options.listenHost, "::1");
  EXPECT_EQ(options.listenPort, 1433u);
  EXPECT_EQ(options.maxConnections, 5u);
  for (std::vector<std::string> bad : {std::vector<std::string>{"--logins", "f"},
                                       {"--listen", "127.0.0.1", "--logins", "f"},
                                       {"--listen", "127.0.0.1:70000", "--logins", "f"},
                                       {"--listen", "127.0.0.1:1", "--logins", "f", "--tls-cert", "c"},
                                       {"--listen", "127.0.0.1:1", "--logins", "f", "--max-connections", "0"},
                                       {"--listen", "127.0.0.1:1"},
                                       {"--frobnicate"}}) {
    ServerOptions o;
    error.clear();
    EXPECT_FALSE(parseServerOptions(bad, o, error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(CodePageText::choose(437));
}

}  // namespace
