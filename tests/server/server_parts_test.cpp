// The server's parts between protocol and procedure: the parameters of EXEC
// statements, RPC and sp_executesql requests, the logins file and the command
// line.
#include "answer/code_page_text.h"
#include "sql/call_parameters.h"
#include "sql/catalog.h"
#include "tsql/parser.h"
#include "tsql/procedure_names.h"
#include "login/logins.h"
#include "main/server_options.h"
#include "tds/tds_constants.h"
#include "utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

std::string utf16(const std::string& utf8) {
  std::string out;
  utf8ToUtf16le(utf8, out);
  return out;
}

tds::RpcParameter rpcValue(std::string name, std::uint8_t type, std::optional<std::string> value) {
  return tds::RpcParameter{std::move(name), type, std::move(value)};
}

class WithCodePage : public ::testing::Test {
 protected:
  const CodePageText text = *CodePageText::choose(1252);

  // The parameters of a batch's one EXEC, or the reason it has none.
  tsql::BoundParameters parametersOfExec(const std::string& batch, const Variables* variables = nullptr,
                                         const tsql::Declarations* declared = nullptr) {
    tsql::Batch read = tsql::parseBatch(batch, sql::Catalog::instance(), declared);
    if (read.error) return tsql::BoundParameters{{}, tsql::BindingError{read.error->place, read.error->message}};
    return tsql::bindExecValues(read.statements.at(0).values, execBindingRules(text, variables));
  }
};

TEST_F(WithCodePage, BatchLiteralsBecomeCodePageBytesOfTheLongVarcharType) {
  tsql::BoundParameters call = parametersOfExec("EXEC quarlix 'Müller', N'ü', NULL, N'Ω', N''");
  ASSERT_FALSE(call.error) << call.error->reason;
  ASSERT_EQ(call.parameters.size(), 5u);
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[0].value, "M\xFCller");
  // N'...' that the code page holds is handed over as varchar, as an nvarchar value of an RPC is.
  EXPECT_EQ(call.parameters[1].type, SRVBIGVARCHAR);
  EXPECT_EQ(call.parameters[1].value, "\xFC");
  EXPECT_FALSE(call.parameters[2].value);
  EXPECT_EQ(call.parameters[2].type, SRVBIGVARCHAR);
  EXPECT_EQ(call.parameters[3].type, SRVNVARCHAR);  // Ω is not in 1252: the procedure's own check answers
  EXPECT_EQ(call.parameters[3].value, utf16("Ω"));
  EXPECT_EQ(call.parameters[4].type, SRVBIGVARCHAR);
  EXPECT_EQ(call.parameters[4].value, "");
  EXPECT_TRUE(parametersOfExec("EXEC quarlix 'a' 'b'").error);
  EXPECT_TRUE(parametersOfExec("EXEC quarlix @P1").error);  // no variables outside sp_executesql
  EXPECT_EQ(parametersOfExec("EXEC quarlix 5").error->reason, "numbers are not accepted; quote the value as '...'");
  EXPECT_EQ(parametersOfExec("EXEC quarlix @scope = 'a', 'b'").error->reason,
            "a positional value cannot follow a named one; write it as @name = value");
}

TEST_F(WithCodePage, RpcValuesKeepTheirOrderNamesAndTypes) {
  tds::RpcRequest request;
  request.procedureName = "Master.DBO.Quarlix";
  request.parameters = {rpcValue("", tds::kTypeBigChar, "LDAP://x"),
                        rpcValue("@scope", tds::kTypeNVarChar, utf16("a")),
                        rpcValue("@filter", tds::kTypeNVarChar, utf16("(cn=Ω)")),
                        rpcValue("@field_names", tds::kTypeNChar, utf16("cn,sn ")),
                        rpcValue("@x", tds::kTypeNVarChar, std::nullopt),
                        rpcValue("@y", tds::kTypeNChar, std::nullopt)};
  EXPECT_TRUE(tsql::namesTheProcedure(request.procedureName));
  CallParameters call = parametersOfRpc(request, text);
  ASSERT_EQ(call.parameters.size(), 6u);
  EXPECT_FALSE(call.parameters[0].name);
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigChar));
  EXPECT_EQ(call.parameters[1].name, "@scope");
  // UTF-16 text that the code page holds exactly becomes the code page's text.
  EXPECT_EQ(call.parameters[1].type, SRVBIGVARCHAR);
  EXPECT_EQ(call.parameters[1].value, "a");
  EXPECT_EQ(call.parameters[3].type, SRVBIGCHAR);
  EXPECT_EQ(call.parameters[3].value, "cn,sn ");
  // Ω is not in 1252: the value stays UTF-16 for the procedure to refuse.
  EXPECT_EQ(call.parameters[2].type, SRVNVARCHAR);
  EXPECT_EQ(call.parameters[2].value, utf16("(cn=Ω)"));
  // NULL of nvarchar and nchar: NULL of varchar and char.
  EXPECT_EQ(call.parameters[4].type, SRVBIGVARCHAR);
  EXPECT_FALSE(call.parameters[4].value);
  EXPECT_EQ(call.parameters[5].type, SRVBIGCHAR);
  EXPECT_FALSE(call.parameters[5].value);
  request.parameters.push_back(rpcValue("", tds::kTypeBigVarChar, "late"));
  EXPECT_NE(parametersOfRpc(request, text).error, "");
  EXPECT_FALSE(tsql::namesTheProcedure("tempdb..quarlix"));
  EXPECT_TRUE(tsql::namesTheProcedure("dbo.quarlix"));
}

TEST(CodePage65001, EveryUtf16TextConvertsButBrokenSurrogates) {
  const CodePageText utf8 = *CodePageText::choose(65001);
  tds::RpcParameter wide = rpcValue("", tds::kTypeNVarChar, utf16("Ωμέγα 😀"));
  EXPECT_EQ(hostParameterOf(wide, utf8).type, SRVBIGVARCHAR);
  EXPECT_EQ(hostParameterOf(wide, utf8).value, "Ωμέγα 😀");
  tds::RpcParameter lone = rpcValue("", tds::kTypeNVarChar, std::string("\x00\xD8", 2));  // a lone high surrogate
  EXPECT_EQ(hostParameterOf(lone, utf8).type, SRVNVARCHAR);
  (void)*CodePageText::choose(1252);  // the process's code page back for the other tests
}

TEST_F(WithCodePage, ExecuteSqlBindsDeclaredVariablesByNameAndPosition) {
  tds::RpcRequest request;
  request.procId = 10;
  request.parameters = {
      rpcValue("", tds::kTypeNVarChar, utf16("EXEC quarlix @P1, @filter = @P2, @field_names = 'cn'")),
      rpcValue("", tds::kTypeNVarChar, utf16("@P1 varchar(8000), @P2 decimal(10, 2)")),
      rpcValue("", tds::kTypeBigVarChar, "LDAP://x"),
      rpcValue("@p2", tds::kTypeNVarChar, utf16("(cn=Ω)")),
  };
  const sql::SystemProcedure* executeSql = sql::Catalog::instance().systemProcedure(*request.procId);
  ASSERT_TRUE(executeSql);
  EXPECT_STREQ(executeSql->name, "sp_executesql");
  const tsql::Declarations declared = tsql::parseDeclarations(*textOf(request.parameters[1], text));
  ASSERT_FALSE(declared.error);
  ASSERT_EQ(declared.variables.size(), 2u);
  EXPECT_EQ(declared.variables[1].name, "@p2");
  EXPECT_EQ(declared.variables[1].type, "decimal(10,2)");
  Variables values;
  ASSERT_EQ(bindValues(declared, request.parameters, 2, text, values), "");
  tsql::BoundParameters call = parametersOfExec(*textOf(request.parameters[0], text), &values, &declared);
  ASSERT_FALSE(call.error) << call.error->reason;
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_FALSE(call.parameters[0].name);
  EXPECT_EQ(call.parameters[0].value, "LDAP://x");
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[1].name, "@filter");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);  // the value's own type: 1252 has no Ω
  EXPECT_EQ(call.parameters[2].value, "cn");

  EXPECT_EQ(parametersOfExec("EXEC quarlix @P9", &values, &declared).error->reason,
            "Must declare the scalar variable \"@P9\".");
  Variables tooMany;
  request.parameters[3].name.clear();
  tsql::Declarations one = declared;
  one.variables.pop_back();
  EXPECT_NE(bindValues(one, request.parameters, 2, text, tooMany), "");
  request.procId.reset();
  for (const char* name : {"sp_prepexec", "sys.sp_prepexec", "master..sp_prepexec", "SP_PREPEXEC"}) {
    const sql::SystemProcedure* found = sql::Catalog::instance().systemProcedure(name);
    ASSERT_TRUE(found) << name;
    EXPECT_EQ(found->number, 13) << name;
  }
  EXPECT_FALSE(sql::Catalog::instance().systemProcedure("sp_who"));
}

std::string writeFile(const std::string& text) {
  char name[] = "/tmp/quarlix-logins-XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  FILE* f = fdopen(fd, "w");
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
  ASSERT_TRUE(parseServerOptions({"--listen", "[::1]:1433", "--logins", "f", "--max-connections", "5"}, options, error))
      << error;
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
