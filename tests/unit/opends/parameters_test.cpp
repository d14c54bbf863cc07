// What the procedure sees of its parameters.
#include "opends_host.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

char* text(const char* s) { return const_cast<char*>(s); }

TEST(OpendsParameters, NamesMatchIgnoringAsciiCaseWithEitherLengthForm) {
  opends::Connection c;
  ASSERT_TRUE(c.addParam(nullptr, SRVVARCHAR, "positional"));
  ASSERT_TRUE(c.addParam("@adspath", SRVVARCHAR, "LDAP://x"));
  ASSERT_TRUE(c.addParam("@Filter", SRVVARCHAR, "(cn=*)"));

  EXPECT_EQ(srv_rpcparams(c.get()), 3);
  EXPECT_EQ(srv_paramnumber(c.get(), text("@ADSPATH"), SRV_NULLTERM), 2);
  EXPECT_EQ(srv_paramnumber(c.get(), text("@filter"), SRV_NULLTERM), 3);
  // An explicit byte count takes only that prefix of the buffer.
  EXPECT_EQ(srv_paramnumber(c.get(), text("@filterXYZ"), 7), 3);
  EXPECT_EQ(srv_paramnumber(c.get(), text("@filte"), SRV_NULLTERM), 0);
  EXPECT_EQ(srv_paramnumber(c.get(), text("@scope"), SRV_NULLTERM), 0);
  // A positional parameter has no name to match, not even the empty one.
  EXPECT_EQ(srv_paramnumber(c.get(), text(""), SRV_NULLTERM), 0);
  EXPECT_EQ(srv_paramnumber(c.get(), nullptr, SRV_NULLTERM), 0);
  EXPECT_EQ(srv_paramnumber(c.get(), text("@adspath"), -5), 0);

  int length = 99;
  EXPECT_STREQ(srv_paramname(c.get(), 2, &length), "@adspath");
  EXPECT_EQ(length, 8);
  EXPECT_STREQ(srv_paramname(c.get(), 1, &length), "");
  EXPECT_EQ(length, 0);
}

TEST(OpendsParameters, ValuesKeepTypeAndExactBytes) {
  opends::Connection c;
  const char utf16[] = {'a', 0, '\xe9', 0, 0, 0};  // "aé\0" as UTF-16LE
  ASSERT_TRUE(c.addParam("@n", SRVNVARCHAR, std::string(utf16, sizeof utf16)));
  ASSERT_TRUE(c.addParam("@v", SRVVARCHAR, std::string(600, 'x')));

  EXPECT_EQ(srv_paramtype(c.get(), 1), 0xE7);
  EXPECT_EQ(srv_paramlen(c.get(), 1), 6);
  EXPECT_EQ(std::memcmp(srv_paramdata(c.get(), 1), utf16, sizeof utf16), 0);
  EXPECT_EQ(srv_paramtype(c.get(), 2), 0x27);
  EXPECT_EQ(srv_paramlen(c.get(), 2), 600);
}

TEST(OpendsParameters, NullAndEmptyValuesDiffer) {
  opends::Connection c;
  ASSERT_TRUE(c.addNullParam(nullptr, SRVVARCHAR));
  ASSERT_TRUE(c.addParam(nullptr, SRVVARCHAR, ""));

  EXPECT_EQ(srv_paramtype(c.get(), 1), SRVVARCHAR);
  EXPECT_EQ(srv_paramlen(c.get(), 1), 0);
  EXPECT_EQ(srv_paramdata(c.get(), 1), nullptr);
  EXPECT_EQ(srv_paramlen(c.get(), 2), 0);
  EXPECT_NE(srv_paramdata(c.get(), 2), nullptr);
}

TEST(OpendsParameters, NumbersOutsideTheCallAnswerAsTheServerDocuments) {
  opends::Connection c;
  ASSERT_TRUE(c.addParam(nullptr, SRVVARCHAR, "a"));
  for (int bad : {0, -1, 2, 1000}) {
    EXPECT_EQ(srv_paramtype(c.get(), bad), -1) << bad;
    EXPECT_EQ(srv_paramlen(c.get(), bad), -1) << bad;
    EXPECT_EQ(srv_paramdata(c.get(), bad), nullptr) << bad;
    int length = 0;
    EXPECT_EQ(srv_paramname(c.get(), bad, &length), nullptr) << bad;
    EXPECT_EQ(length, -1) << bad;
  }
}

TEST(OpendsParameters, HostRefusesInconsistentValuesAndNullConnections) {
  opends::Connection c;
  EXPECT_FALSE(OdsHostAddParam(c.get(), nullptr, SRVVARCHAR, nullptr, 3));
  EXPECT_FALSE(OdsHostAddParam(c.get(), nullptr, SRVVARCHAR, "abc", -1));
  EXPECT_FALSE(OdsHostAddParam(nullptr, nullptr, SRVVARCHAR, "abc", 3));
  EXPECT_EQ(srv_rpcparams(c.get()), 0);
  EXPECT_EQ(srv_rpcparams(nullptr), -1);
  EXPECT_EQ(srv_paramdata(nullptr, 1), nullptr);
  EXPECT_EQ(srv_paramnumber(nullptr, text("@a"), SRV_NULLTERM), 0);
}

}  // namespace
