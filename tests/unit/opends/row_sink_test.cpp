// Streaming: with a row sink, rows reach the host as they are sent and are
// not kept; everything else is recorded as before.
#include "opends_host.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kSucceed = 1;
constexpr int kFail = 0;

char* text(const char* s) { return const_cast<char*>(s); }

struct Seen {
  opends::Connection* connection = nullptr;
  std::vector<std::vector<opends::Cell>> rows;
  std::vector<int> eventsBefore;  // the record's length when each row came
};

void __cdecl keepRow(void* context, const OdsCell* cells, int count) {
  auto* seen = static_cast<Seen*>(context);
  std::vector<opends::Cell> row;
  for (int i = 0; i < count; ++i)
    row.push_back(cells[i].isNull ? opends::Cell()
                                  : opends::Cell(std::string(reinterpret_cast<const char*>(cells[i].data),
                                                             static_cast<size_t>(cells[i].length))));
  seen->rows.push_back(row);
  // The sink runs unlocked: reading the record here must not deadlock.
  seen->eventsBefore.push_back(OdsHostEventCount(seen->connection->get()));
}

TEST(OpendsRowSink, RowsGoToTheSinkWithTheirBytesAndOnlyTheOtherCallsAreRecorded) {
  opends::Connection c;
  Seen seen{&c};
  ASSERT_TRUE(OdsHostSetRowSink(c.get(), keepRow, &seen));
  ASSERT_EQ(srv_describe(c.get(), 1, text("cn"), SRV_NULLTERM, SRVVARCHAR, 5, SRVVARCHAR, 0, nullptr), 1);
  ASSERT_EQ(srv_describe(c.get(), 2, text("bin"), SRV_NULLTERM, SRVVARBINARY, 3, SRVVARBINARY, 0, nullptr), 2);
  std::string first = "alice";
  std::string bytes("\x00\xff\x01", 3);
  EXPECT_EQ(srv_setcoldata(c.get(), 1, first.data()), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 1, 5), kSucceed);
  EXPECT_EQ(srv_setcoldata(c.get(), 2, bytes.data()), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 2, 3), kSucceed);
  EXPECT_EQ(srv_sendrow(c.get()), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 2, 0), kSucceed);  // NULL
  EXPECT_EQ(srv_sendrow(c.get()), kSucceed);
  EXPECT_EQ(srv_setcollen(c.get(), 9, 1), kFail);  // still checked, though not recorded
  // A streamed row closes the result set to new columns, as a recorded one does.
  EXPECT_EQ(srv_describe(c.get(), 3, text("late"), SRV_NULLTERM, SRVVARCHAR, 5, SRVVARCHAR, 0, nullptr), 0);
  EXPECT_EQ(srv_senddone(c.get(), 17, 0, 2), kSucceed);

  ASSERT_EQ(seen.rows.size(), 2u);
  EXPECT_EQ(seen.rows[0], (std::vector<opends::Cell>{std::string("alice"), bytes}));
  EXPECT_EQ(seen.rows[1], (std::vector<opends::Cell>{std::string("alice"), std::nullopt}));
  EXPECT_EQ(seen.eventsBefore, (std::vector<int>{2, 2}));

  auto events = c.events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].kind, ODS_EVENT_DESCRIBE);
  EXPECT_EQ(events[1].kind, ODS_EVENT_DESCRIBE);
  EXPECT_EQ(events[2].kind, ODS_EVENT_DESCRIBE);
  EXPECT_EQ(events[2].result, 0);
  EXPECT_EQ(events[3].kind, ODS_EVENT_SENDDONE);
}

TEST(OpendsRowSink, ARefusedRowIsRecordedAndANullSinkRestoresTheFullRecord) {
  opends::Connection c;
  Seen seen{&c};
  ASSERT_TRUE(OdsHostSetRowSink(c.get(), keepRow, &seen));
  EXPECT_EQ(srv_sendrow(c.get()), kFail);  // no columns described
  ASSERT_EQ(srv_describe(c.get(), 1, text("a"), SRV_NULLTERM, SRVVARCHAR, 1, SRVVARCHAR, 0, nullptr), 1);
  EXPECT_EQ(srv_setcollen(c.get(), 1, 1), kSucceed);
  EXPECT_EQ(srv_sendrow(c.get()), kFail);  // a length without data
  EXPECT_TRUE(seen.rows.empty());

  ASSERT_TRUE(OdsHostSetRowSink(c.get(), nullptr, nullptr));
  std::string a = "x";
  EXPECT_EQ(srv_setcoldata(c.get(), 1, a.data()), kSucceed);
  EXPECT_EQ(srv_sendrow(c.get()), kSucceed);
  auto events = c.events();
  ASSERT_EQ(events.size(), 5u);  // row, describe, row, setcoldata, row
  EXPECT_EQ(events[0].kind, ODS_EVENT_SENDROW);
  EXPECT_EQ(events[0].result, kFail);
  EXPECT_EQ(events[2].result, kFail);
  EXPECT_EQ(events[3].kind, ODS_EVENT_SETCOLDATA);
  EXPECT_EQ(c.cells(4), (std::vector<opends::Cell>{std::string("x")}));
  EXPECT_TRUE(seen.rows.empty());
  EXPECT_FALSE(OdsHostSetRowSink(nullptr, keepRow, &seen));
}

}  // namespace
