// Delivery: column types and widths, NULL cells, rows as committed.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "entry/request.h"
#include "opends_host.h"
#include "platform/host.h"
#include "platform/text_conversion.h"
#include "result/result_table.h"

namespace {

class Delivery : public ::testing::Test {
 protected:
  Delivery() : connection_(OdsHostCreate(), OdsHostDestroy) {}

  void addColumn(const std::string& name, bool binary, int32_t maxLength) {
    ColumnInfo column(name, toWide(name));
    column.binary = binary;
    column.maxLength = maxLength;
    table.addColumn(column);
  }
  // nullopt: an absent cell.
  void commit(const std::vector<std::optional<std::string>>& cells) {
    Row row;
    for (const std::optional<std::string>& cell : cells) {
      if (cell)
        ResultTable::appendCell(row, *cell);
      else
        ResultTable::appendAbsentCell(row);
    }
    table.commitRow(row);
  }
  std::vector<OdsEvent> deliver(int kind) {
    deliverTable(Host(connection_.get()), table);
    std::vector<OdsEvent> events;
    for (int i = 0; i < OdsHostEventCount(connection_.get()); ++i) {
      OdsEvent event;
      OdsHostGetEvent(connection_.get(), i, &event);
      if (event.kind == kind) {
        events.push_back(event);
        indexes_.push_back(i);
      }
    }
    return events;
  }
  OdsCell cell(size_t rowEvent, int column) {
    OdsCell out{};
    EXPECT_TRUE(OdsHostGetCell(connection_.get(), indexes_.at(rowEvent), column, &out));
    return out;
  }

  ResultTable table;

 private:
  std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)> connection_;
  std::vector<int> indexes_;
};

TEST_F(Delivery, EmptyTableSendsOnlyTheDone) {
  const std::vector<OdsEvent> dones = deliver(ODS_EVENT_SENDDONE);
  ASSERT_EQ(dones.size(), 1u);
  EXPECT_EQ(dones[0].status, 17);
  EXPECT_EQ(dones[0].count, 0);
}

TEST_F(Delivery, TypeFollowsBinaryFlagAndWidth) {
  addColumn("t255", false, 255);
  addColumn("t256", false, 256);
  addColumn("b16", true, 16);
  addColumn("b300", true, 300);
  addColumn("none", false, 0);
  const std::vector<OdsEvent> described = deliver(ODS_EVENT_DESCRIBE);
  ASSERT_EQ(described.size(), 5u);
  const int types[] = {0x27, 0xA7, 0x25, 0xA5, 0x27};
  const int widths[] = {255, 256, 16, 300, 0};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(described[k].number, static_cast<int>(k + 1));
    EXPECT_EQ(described[k].destType, types[k]) << k;
    EXPECT_EQ(described[k].sourceType, types[k]) << k;
    EXPECT_EQ(described[k].destLength, widths[k]) << k;
    EXPECT_EQ(described[k].sourceLength, 0);
  }
  EXPECT_EQ(std::string(described[0].name), "t255");
}

TEST_F(Delivery, ColumnsWiderThan8000BytesAreTextAndImage) {
  addColumn("t8000", false, 8000);
  addColumn("t8001", false, 8001);
  addColumn("b8000", true, 8000);
  addColumn("b8001", true, 8001);
  addColumn("huge", false, INT32_MAX);
  const std::vector<OdsEvent> described = deliver(ODS_EVENT_DESCRIBE);
  ASSERT_EQ(described.size(), 5u);
  const int types[] = {0xA7, 0x23, 0xA5, 0x22, 0x23};
  const int32_t widths[] = {8000, 8001, 8000, 8001, INT32_MAX};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(described[k].result, static_cast<int>(k + 1)) << "the host refused column " << k;
    EXPECT_EQ(described[k].destType, types[k]) << k;
    EXPECT_EQ(described[k].sourceType, types[k]) << k;
    EXPECT_EQ(described[k].destLength, widths[k]) << k;
  }
}

TEST_F(Delivery, WideCellsGoWhole) {
  addColumn("text", false, 20000);
  addColumn("image", true, 100000);
  const std::string text(20000, 't');
  std::string image(100000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
  commit({text, image});
  const std::vector<OdsEvent> rows = deliver(ODS_EVENT_SENDROW);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(0, 0).data), cell(0, 0).length), text);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(0, 1).data), cell(0, 1).length), image);
}

TEST_F(Delivery, OnlyAbsentCellsAreNullAndTheTextNullIsData) {
  addColumn("a", false, 10);
  addColumn("b", false, 10);
  addColumn("c", false, 10);
  addColumn("d", true, 10);
  addColumn("e", true, 10);
  commit({std::nullopt, "NULL", "NULL ", std::string("NULL\0\x01", 6), "NULL"});
  commit({"null", std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  const std::vector<OdsEvent> rows = deliver(ODS_EVENT_SENDROW);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(cell(0, 0).isNull);
  EXPECT_EQ(cell(0, 0).length, 0);
  for (int k = 1; k < 5; ++k) EXPECT_FALSE(cell(0, k).isNull) << k;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(0, 1).data), cell(0, 1).length), "NULL");
  EXPECT_EQ(cell(0, 2).length, 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(0, 3).data), cell(0, 3).length),
            std::string("NULL\0\x01", 6));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(0, 4).data), cell(0, 4).length), "NULL");
  EXPECT_EQ(cell(1, 0).length, 4);
  for (int k = 1; k < 5; ++k) EXPECT_TRUE(cell(1, k).isNull) << k;
}

TEST_F(Delivery, RowsGoInCommitOrderWithTheirOwnCells) {
  addColumn("a", false, 5);
  addColumn("b", false, 5);
  commit({"r1a", "r1b"});
  commit({"r2a"});
  commit({"r3a", "r3b"});
  const std::vector<OdsEvent> setLengths = deliver(ODS_EVENT_SETCOLLEN);
  // Five cells bound in all: the short row binds only its own.
  ASSERT_EQ(setLengths.size(), 5u);
  EXPECT_EQ(setLengths[2].number, 1);
  EXPECT_EQ(setLengths[3].number, 1);
}

TEST_F(Delivery, DoneCountsTheCommittedRows) {
  addColumn("a", false, 3);
  for (int i = 0; i < 250; ++i) commit({std::to_string(i)});
  const std::vector<OdsEvent> rows = deliver(ODS_EVENT_SENDROW);
  ASSERT_EQ(rows.size(), 250u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell(249, 0).data), cell(249, 0).length), "249");
}

TEST(SendResultSet, AtMost4096ColumnsAreDescribed) {
  for (size_t count : {4096u, 4097u}) {
    std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)> connection(OdsHostCreate(), OdsHostDestroy);
    Request request(connection.get());
    for (size_t k = 0; k < count; ++k) request.table.addColumn(ColumnInfo("c", toWide("c")));
    const bool sent = request.sendResultSet();
    EXPECT_EQ(sent, count == 4096u) << count;
    EXPECT_EQ(OdsHostEventCount(connection.get()), sent ? 4096 + 1 : 0) << "describes and the done, or nothing";
    if (!sent) {
      EXPECT_EQ(request.errorText, "Too many columns: the answer has 4097 columns, a result set holds at most 4096.");
    }
  }
}

TEST(ResultTableTest, WidthsOnlyGrow) {
  ResultTable table;
  table.addColumn(ColumnInfo("a", toWide("a")));
  table.widenColumn(0, 7);
  table.widenColumn(0, 3);
  EXPECT_EQ(table.columns[0].maxLength, 7);
  EXPECT_THROW(table.widenColumn(1, 1), IndexFault);
}

TEST(ResultTableTest, ColumnCopiesOwnTheirWideName) {
  ColumnInfo original("name", toWide("name"));
  ColumnInfo copy(original);
  EXPECT_NE(copy.wideName.get(), original.wideName.get());
  EXPECT_EQ(copy.wideName.length(), 4u);
}

TEST(GrowableArrayTest, CapacityStartsAtOneThenDoubles) {
  GrowableArray<int> list;
  EXPECT_EQ(list.capacity(), 0u);
  const size_t expected[] = {1, 2, 4, 4, 8};
  for (size_t i = 0; i < 5; ++i) {
    ASSERT_TRUE(list.append(static_cast<int>(i)));
    EXPECT_EQ(list.capacity(), expected[i]);
  }
  EXPECT_EQ(list[4], 4);
  EXPECT_THROW(list[5], IndexFault);
  list.clear();
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(list.capacity(), 0u);
}

}  // namespace
