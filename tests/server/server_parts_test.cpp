// The server's parts between protocol and procedure: the parameters of EXEC
// statements, RPC and sp_executesql requests, the logins file and the command
// line.
#include "sql/call_parameters.h"
#include "answer/code_page_text.h"
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
};

TEST_F(WithCodePage, BatchLiteralsBecomeCodePageBytesOfTheLongVarcharType) {
  CallParameters call = parametersOfExec("'Müller', N'ü', NULL", text, nullptr);
  ASSERT_TRUE(call.error.empty()) << call.error;
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[0].value, "M\xFCller");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);
  EXPECT_EQ(call.parameters[1].value, std::string("\xFC\x00", 2));
  EXPECT_FALSE(call.parameters[2].value);
  EXPECT_NE(parametersOfExec("'a' 'b'", text, nullptr).error, "");
  EXPECT_NE(parametersOfExec("@P1", text, nullptr).error, "");  // no variables outside sp_executesql
}

TEST_F(WithCodePage, RpcValuesKeepTheirOrderNamesAndTypes) {
  tds::RpcRequest request;
  request.procedureName = "Master.DBO.Quarlix";
  request.parameters = {rpcValue("", tds::kTypeBigChar, "LDAP://x"), rpcValue("@scope", tds::kTypeNVarChar, utf16("a")),
                        rpcValue("@filter", tds::kTypeNVarChar, utf16("(cn=Ω)")),
                        rpcValue("@field_names", tds::kTypeNChar, utf16("cn,sn ")),
                        rpcValue("@x", tds::kTypeNVarChar, std::nullopt)};
  EXPECT_TRUE(namesTheProcedure(request.procedureName));
  CallParameters call = parametersOfRpc(request, text);
  ASSERT_EQ(call.parameters.size(), 5u);
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
  EXPECT_EQ(call.parameters[4].type, SRVNVARCHAR);
  EXPECT_FALSE(call.parameters[4].value);
  request.parameters.push_back(rpcValue("", tds::kTypeBigVarChar, "late"));
  EXPECT_NE(parametersOfRpc(request, text).error, "");
  EXPECT_FALSE(namesTheProcedure("tempdb..quarlix"));
  EXPECT_TRUE(namesTheProcedure("dbo.quarlix"));
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
  request.procId = kExecuteSql;
  request.parameters = {
      rpcValue("", tds::kTypeNVarChar, utf16("EXEC quarlix @P1, @filter = @P2, @field_names = 'cn'")),
      rpcValue("", tds::kTypeNVarChar, utf16("@P1 varchar(8000), @P2 decimal(10, 2)")),
      rpcValue("", tds::kTypeBigVarChar, "LDAP://x"),
      rpcValue("@p2", tds::kTypeNVarChar, utf16("(cn=Ω)")),
  };
  EXPECT_EQ(systemProcedureOf(request), kExecuteSql);
  ASSERT_EQ(declaredNames(*textOf(request.parameters[1], text)), (std::vector<std::string>{"@p1", "@p2"}));
  Variables values;
  ASSERT_EQ(bindValues({"@p1", "@p2"}, request.parameters, 2, text, values), "");
  auto lookup = [&values](std::string_view name) -> std::optional<HostParameter> {
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto found = values.find(key);
    return found == values.end() ? std::nullopt : std::optional<HostParameter>(found->second);
  };
  CallParameters call = parametersOfExec("@P1, @filter = @P2, @field_names = 'cn'", text, lookup);
  ASSERT_TRUE(call.error.empty()) << call.error;
  ASSERT_EQ(call.parameters.size(), 3u);
  EXPECT_FALSE(call.parameters[0].name);
  EXPECT_EQ(call.parameters[0].value, "LDAP://x");
  EXPECT_EQ(call.parameters[0].type, procedureTypeOf(tds::kTypeBigVarChar));
  EXPECT_EQ(call.parameters[1].name, "@filter");
  EXPECT_EQ(call.parameters[1].type, SRVNVARCHAR);  // the value's own type: 1252 has no Ω
  EXPECT_EQ(call.parameters[2].value, "cn");

  EXPECT_NE(parametersOfExec("@P9", text, lookup).error.find("@P9 is not declared"), std::string::npos);
  Variables tooMany;
  request.parameters[3].name.clear();
  EXPECT_NE(bindValues({"@p1"}, request.parameters, 2, text, tooMany), "");
  request.procId.reset();
  for (const char* name : {"sp_prepexec", "sys.sp_prepexec", "master..sp_prepexec"}) {
    request.procedureName = name;
    EXPECT_EQ(systemProcedureOf(request), kPrepExec) << name;
  }
  request.procedureName = "sp_who";
  EXPECT_EQ(systemProcedureOf(request), 0);
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
