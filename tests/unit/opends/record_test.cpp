// The record as a whole: order of events, and connections used side by side.
#include "opends_host.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

char* text(const char* s) { return const_cast<char*>(s); }

// One call the way the procedure makes it: intake, one column, one row, done.
void runCall(SRV_PROC* p) {
  int n = srv_paramnumber(p, text("@adspath"), SRV_NULLTERM);
  srv_paramtype(p, n);
  srv_paramlen(p, n);
  const char* data = static_cast<const char*>(srv_paramdata(p, n));
  std::string copy(data, static_cast<size_t>(srv_paramlen(p, n)));
  srv_describe(p, 1, text("path"), SRV_NULLTERM, SRVVARCHAR, static_cast<LONG>(copy.size()), SRVVARCHAR, 0, nullptr);
  srv_setcoldata(p, 1, copy.data());
  srv_setcollen(p, 1, static_cast<int>(copy.size()));
  srv_sendrow(p);
  srv_senddone(p, SRV_DONE_MORE | SRV_DONE_COUNT, 0, 1);
}

TEST(OpendsRecord, EventsComeInCallOrderWithTheirArguments) {
  opends::Connection c;
  ASSERT_TRUE(c.addParam("@adspath", SRVVARCHAR, "LDAP://a"));
  runCall(c.get());

  std::vector<int> kinds;
  for (const OdsEvent& e : c.events()) kinds.push_back(e.kind);
  EXPECT_EQ(kinds, (std::vector<int>{ODS_EVENT_PARAMNUMBER, ODS_EVENT_PARAMTYPE, ODS_EVENT_PARAMLEN,
                                     ODS_EVENT_PARAMDATA, ODS_EVENT_PARAMLEN, ODS_EVENT_DESCRIBE, ODS_EVENT_SETCOLDATA,
                                     ODS_EVENT_SETCOLLEN, ODS_EVENT_SENDROW, ODS_EVENT_SENDDONE}));
  auto events = c.events();
  EXPECT_EQ(opends::nameOf(events[0]), "@adspath");
  EXPECT_EQ(events[0].lengthArgument, SRV_NULLTERM);
  EXPECT_EQ(events[0].result, 1);
  EXPECT_EQ(events[1].number, 1);
  EXPECT_EQ(events[1].result, SRVVARCHAR);
  EXPECT_EQ(events[2].result, 8);
  EXPECT_EQ(events[3].result, 1);
  EXPECT_EQ(c.cells(8), (std::vector<opends::Cell>{std::string("LDAP://a")}));
  EXPECT_EQ(events[9].status, 0x11);
  EXPECT_EQ(events[9].count, 1);
  EXPECT_TRUE(c.cells(9).empty());

  OdsEvent outside{};
  EXPECT_FALSE(OdsHostGetEvent(c.get(), 10, &outside));
  OdsCell cell{};
  EXPECT_FALSE(OdsHostGetCell(c.get(), 8, 1, &cell));
  EXPECT_FALSE(OdsHostGetCell(c.get(), 7, 0, &cell));
}

TEST(OpendsRecord, ConnectionsOnManyThreadsKeepTheirOwnRecords) {
  constexpr int kThreads = 8;
  constexpr int kCalls = 50;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < kCalls; ++i) {
        opends::Connection c;
        std::string value = "LDAP://t" + std::to_string(t) + "/" + std::to_string(i);
        c.addParam("@adspath", SRVVARCHAR, value);
        runCall(c.get());
        auto row = c.cells(8);
        seen[static_cast<size_t>(t)].push_back(row.size() == 1 && row[0] ? *row[0] : "<missing>");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kCalls; ++i)
      EXPECT_EQ(seen[static_cast<size_t>(t)][static_cast<size_t>(i)],
                "LDAP://t" + std::to_string(t) + "/" + std::to_string(i));
}

}  // namespace
