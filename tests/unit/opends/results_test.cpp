// Columns, bindings, rows, messages and dones as the host records them.
#include "opends_host.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// srv.h's kSucceed and kFail lose to GoogleTest's macros of the same names.
constexpr int kSucceed = 1;
constexpr int kFail = 0;

char* text(const char* s) { return const_cast<char*>(s); }

int describe(SRV_PROC* p, int column, const char* name, int type = SRVVARCHAR, int maxlen = 10) {
  return srv_describe(p, column, text(name), SRV_NULLTERM, type, maxlen, type, 0, nullptr);
}

// The last event, which must be a row; its cells.
std::vector<opends::Cell> lastRow(const opends::Connection& c) {
  auto events = c.events();
  EXPECT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, ODS_EVENT_SENDROW);
  return c.cells(static_cast<int>(events.size()) - 1);
}

TEST(OpendsResults, DescribeNumbersColumnsInOrderOnly) {
  opends::Connection c;
  EXPECT_EQ(describe(c.get(), 2, "b"), 0);
  EXPECT_EQ(describe(c.get(), 1, "a"), 1);
  EXPECT_EQ(describe(c.get(), 1, "a"), 0);
  EXPECT_EQ(srv_describe(c.get(), 2, text("b"), -7, SRVVARCHAR, 1, SRVVARCHAR, 0, nullptr), 0);
  EXPECT_EQ(describe(c.get(), 2, "b", SRVBIGVARBINARY, 300), 2);

  auto events = c.events();
  ASSERT_EQ(events.size(), 5u);
  const OdsEvent& ok = events[4];
  EXPECT_EQ(ok.kind, ODS_EVENT_DESCRIBE);
  EXPECT_EQ(ok.number, 2);
  EXPECT_EQ(opends::nameOf(ok), "b");
  EXPECT_EQ(ok.destType, 0xA5);
  EXPECT_EQ(ok.destLength, 300);
  EXPECT_EQ(ok.sourceType, 0xA5);
  EXPECT_EQ(events[0].result, 0);
}

TEST(OpendsResults, WidthsAreThoseTheTypeAllows) {
  opends::Connection c;
  int column = 1;
  for (int type : {SRVVARCHAR, SRVBIGVARCHAR, SRVVARBINARY, SRVBIGVARBINARY, SRVCHAR, SRVBIGCHAR}) {
    EXPECT_EQ(describe(c.get(), column, "w", type, 8001), 0) << type;
    EXPECT_EQ(describe(c.get(), column, "w", type, -1), 0) << type;
    EXPECT_EQ(describe(c.get(), column, "w", type, 8000), column) << type;
    ++column;
  }
  for (int type : {SRVTEXT, SRVIMAGE}) {
    EXPECT_EQ(describe(c.get(), column, "w", type, -1), 0) << type;
    EXPECT_EQ(describe(c.get(), column, "w", type, 0x7FFFFFFF), column) << type;
    ++column;
  }
  EXPECT_EQ(describe(c.get(), column, "n", SRVINT4, -4), column);  // the width of a fixed type is ignored
}

TEST(OpendsResults, ACellLongerThanItsColumnRefusesTheRow) {
  opends::Connection c;
  ASSERT_EQ(describe(c.get(), 1, "short", SRVVARCHAR, 3), 1);
  ASSERT_EQ(describe(c.get(), 2, "text", SRVTEXT, 20000), 2);
  ASSERT_EQ(describe(c.get(), 3, "image", SRVIMAGE, 100000), 3);
  ASSERT_EQ(describe(c.get(), 4, "number", SRVINT4, 0), 4);
  std::string word = "four", text(20000, 't'), image(100000, '\x01');
  int number = 7;
  srv_setcoldata(c.get(), 1, word.data());
  srv_setcollen(c.get(), 1, 4);
  srv_setcoldata(c.get(), 2, text.data());
  srv_setcollen(c.get(), 2, 20000);
  srv_setcoldata(c.get(), 3, image.data());
  srv_setcollen(c.get(), 3, 100000);
  srv_setcoldata(c.get(), 4, &number);
  srv_setcollen(c.get(), 4, 4);
  EXPECT_EQ(srv_sendrow(c.get()), kFail);
  srv_setcollen(c.get(), 1, 3);
  ASSERT_EQ(srv_sendrow(c.get()), kSucceed);
  auto row = lastRow(c);
  ASSERT_EQ(row.size(), 4u);
  EXPECT_EQ(row[0], std::string("fou"));
  EXPECT_EQ(row[1], text);
  EXPECT_EQ(row[2], image);
  srv_setcollen(c.get(), 2, 20001);
  EXPECT_EQ(srv_sendrow(c.get()), kFail);
}

TEST(OpendsResults, BindingOutsideTheDescribedColumnsFails) {
  opends::Connection c;
  ASSERT_EQ(describe(c.get(), 1, "a"), 1);
  char cell[] = "x";
  EXPECT_EQ(srv_setcoldata(c.get(), 0, cell), kFail);
  EXPECT_EQ(srv_setcoldata(c.get(), 2, cell), kFail);
  EXPECT_EQ(srv_setcollen(c.get(), 2, 1), kFail);
  EXPECT_EQ(srv_setcollen(c.get(), 1, -1), kFail);
  EXPECT_EQ(srv_setcoldata(c.get(), 1, cell), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 1, 1), kSucceed);

  auto events = c.events();
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[2].kind, ODS_EVENT_SETCOLDATA);
  EXPECT_EQ(events[2].number, 2);
  EXPECT_EQ(events[2].result, kFail);
  EXPECT_EQ(events[4].kind, ODS_EVENT_SETCOLLEN);
  EXPECT_EQ(events[4].lengthArgument, -1);
  EXPECT_EQ(events[4].result, kFail);
  EXPECT_EQ(events[6].result, kSucceed);
}

TEST(OpendsResults, RowHoldsTheBytesBoundAtSendTime) {
  opends::Connection c;
  ASSERT_EQ(describe(c.get(), 1, "cn"), 1);
  ASSERT_EQ(describe(c.get(), 2, "bin", SRVVARBINARY), 2);
  ASSERT_EQ(describe(c.get(), 3, "unbound"), 3);
  char name[] = "alice";
  char bytes[] = {'\0', '\x01', '\xff'};
  srv_setcoldata(c.get(), 1, name);
  srv_setcollen(c.get(), 1, 5);
  srv_setcoldata(c.get(), 2, bytes);
  srv_setcollen(c.get(), 2, 3);
  ASSERT_EQ(srv_sendrow(c.get()), kSucceed);
  name[0] = 'X';  // the procedure reuses its buffers once the row is out
  bytes[1] = '\x7f';

  auto row = lastRow(c);
  ASSERT_EQ(row.size(), 3u);
  EXPECT_EQ(row[0], std::string("alice"));
  EXPECT_EQ(row[1], std::string("\0\x01\xff", 3));
  EXPECT_EQ(row[2], std::nullopt);

  // Bindings stay: only the length changes, and length 0 is NULL.
  srv_setcollen(c.get(), 1, 3);
  srv_setcollen(c.get(), 2, 0);
  ASSERT_EQ(srv_sendrow(c.get()), kSucceed);
  row = lastRow(c);
  EXPECT_EQ(row[0], std::string("Xli"));
  EXPECT_EQ(row[1], std::nullopt);
}

TEST(OpendsResults, RowWithoutColumnsOrWithLengthButNoDataFails) {
  opends::Connection c;
  EXPECT_EQ(srv_sendrow(c.get()), kFail);
  ASSERT_EQ(describe(c.get(), 1, "a"), 1);
  srv_setcollen(c.get(), 1, 4);  // no data pointer
  EXPECT_EQ(srv_sendrow(c.get()), kFail);
  auto events = c.events();
  EXPECT_EQ(events.back().cellCount, 0);
}

TEST(OpendsResults, NoDescribeAfterARowUntilTheDone) {
  opends::Connection c;
  ASSERT_EQ(describe(c.get(), 1, "a"), 1);
  ASSERT_EQ(srv_sendrow(c.get()), kSucceed);
  EXPECT_EQ(describe(c.get(), 2, "b"), 0);
  ASSERT_EQ(srv_senddone(c.get(), 0x11, 0, 1), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 1, 0), kFail);
  EXPECT_EQ(describe(c.get(), 1, "c"), 1);
}

TEST(OpendsResults, MessageTextIsExactForEitherLengthForm) {
  opends::Connection c;
  char withZero[] = "ab\0cd";
  EXPECT_EQ(srv_sendmsg(c.get(), SRV_MSG_ERROR, 20001, 16, 1, nullptr, 0, 0, text("Wrong parameters. "), SRV_NULLTERM),
            kSucceed);
  EXPECT_EQ(srv_sendmsg(c.get(), SRV_MSG_ERROR, 20001, 16, 2, text("quarlix"), SRV_NULLTERM, 7, withZero, 5), kSucceed);
  EXPECT_EQ(srv_sendmsg(c.get(), SRV_MSG_ERROR, 1, 16, 1, nullptr, 0, 0, text("x"), -2), kFail);
  EXPECT_EQ(srv_sendmsg(c.get(), SRV_MSG_ERROR, 1, 16, 1, nullptr, 0, 0, nullptr, 3), kFail);

  auto events = c.events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(opends::textOf(events[0]), "Wrong parameters. ");
  EXPECT_EQ(events[0].messageNumber, 20001);
  EXPECT_EQ(events[0].severity, 16);
  EXPECT_EQ(events[0].state, 1);
  EXPECT_EQ(events[0].name, nullptr);
  EXPECT_EQ(opends::textOf(events[1]), std::string("ab\0cd", 5));
  EXPECT_EQ(opends::nameOf(events[1]), "quarlix");
  EXPECT_EQ(events[1].state, 2);
  EXPECT_EQ(events[1].line, 7);
  EXPECT_EQ(events[2].result, kFail);
  EXPECT_EQ(events[3].result, kFail);
}

TEST(OpendsResults, NullConnectionFailsEveryResultCall) {
  char cell[] = "x";
  EXPECT_EQ(describe(nullptr, 1, "a"), 0);
  EXPECT_EQ(srv_setcoldata(nullptr, 1, cell), kFail);
  EXPECT_EQ(srv_setcollen(nullptr, 1, 1), kFail);
  EXPECT_EQ(srv_sendrow(nullptr), kFail);
  EXPECT_EQ(srv_sendmsg(nullptr, 2, 1, 16, 1, nullptr, 0, 0, cell, 1), kFail);
  EXPECT_EQ(srv_senddone(nullptr, 3, 0, 0), kFail);
}

}  // namespace
