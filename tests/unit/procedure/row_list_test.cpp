// The committed rows: cells come back byte for byte, in order, across blocks,
// however long or empty they are.
#include "result/row_list.h"

#include <gtest/gtest.h>

#include <string>

#include "errors/failures.h"

namespace {

Row rowOf(std::initializer_list<std::string> cells) {
  Row row;
  for (const std::string& cell : cells) row.append(cell);
  return row;
}

TEST(RowList, CellsComeBackByteForByteAcrossBlocks) {
  RowList rows;
  const std::string big(300 * 1024, 'x');  // larger than a block: a block of its own
  const std::string binary("\0N\0", 3);
  for (int i = 0; i < 5000; ++i) rows.commit(rowOf({"row " + std::to_string(i), "", binary}));
  rows.commit(rowOf({big, "after"}));
  rows.commit(Row());
  rows.commit(rowOf({"last"}));

  ASSERT_EQ(rows.size(), 5003u);
  for (size_t i = 0; i < 5000; i += 499) {
    ASSERT_EQ(rows.cellCount(i), 3u);
    EXPECT_EQ(rows.cell(i, 0), "row " + std::to_string(i));
    EXPECT_EQ(rows.cell(i, 1), "");
    EXPECT_EQ(rows.cell(i, 2), binary);
  }
  EXPECT_EQ(rows.cell(5000, 0), big);
  EXPECT_EQ(rows.cell(5000, 1), "after");
  EXPECT_EQ(rows.cellCount(5001), 0u);
  EXPECT_EQ(rows.cell(5002, 0), "last");
}

TEST(RowList, AbsentCellsKeepTheirFlagBesideTextsThatSpellNull) {
  Row row;
  row.append("NULL");
  row.appendAbsent();
  row.append("");
  row.appendAbsent();
  row.append(std::string(5000, 'w'));
  RowList rows;
  rows.commit(row);
  rows.commit(rowOf({"a"}));
  const bool absent[] = {false, true, false, true, false};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(row.absent(k), absent[k]) << k;
    EXPECT_EQ(rows.absent(0, k), absent[k]) << k;
  }
  EXPECT_EQ(rows.cell(0, 0), "NULL");
  EXPECT_EQ(rows.cell(0, 1), "");
  EXPECT_EQ(rows.cell(0, 3), "");
  EXPECT_EQ(rows.cell(0, 4), std::string(5000, 'w'));  // offsets after absent cells are whole
  EXPECT_FALSE(rows.absent(1, 0));
  EXPECT_THROW(rows.absent(0, 5), IndexFault);
  EXPECT_THROW(row.absent(5), IndexFault);
}

TEST(RowList, LengthsAtEveryWidthOfTheirNumber) {
  // A cell's length and flag take one more byte at 64, 8 192 and 1 048 576 bytes.
  const size_t lengths[] = {0, 1, 63, 64, 65, 8191, 8192, 8193, 1048575, 1048576};
  Row row;
  for (size_t length : lengths) {
    row.append(std::string(length, static_cast<char>('a' + length % 26)));
    row.appendAbsent();
  }
  RowList rows;
  for (int i = 0; i < 3; ++i) rows.commit(row);
  for (size_t r = 0; r < 3; ++r) {
    ASSERT_EQ(rows.cellCount(r), 2 * std::size(lengths));
    RowList::Reader reader(rows, r);
    std::string_view cell;
    bool absent = false;
    for (size_t k = 0; k < 2 * std::size(lengths); ++k) {
      ASSERT_TRUE(reader.next(cell, absent));
      EXPECT_EQ(cell, row.cell(k)) << k;
      EXPECT_EQ(absent, k % 2 == 1) << k;
    }
    EXPECT_FALSE(reader.next(cell, absent));
  }
}

TEST(RowList, ManyRowsAcrossIndexChunksAndBlocks) {
  RowList rows;
  const size_t count = 70000;  // over four chunks of the index, about ten blocks
  for (size_t i = 0; i < count; ++i) rows.commit(rowOf({"r" + std::to_string(i), std::string(i % 40, 'y')}));
  ASSERT_EQ(rows.size(), count);
  for (size_t i = 0; i < count; i += 997) {
    EXPECT_EQ(rows.cell(i, 0), "r" + std::to_string(i));
    EXPECT_EQ(rows.cell(i, 1), std::string(i % 40, 'y'));
  }
  EXPECT_EQ(rows.cell(count - 1, 0), "r" + std::to_string(count - 1));
}

TEST(RowList, IndexesOutsideTheListFaultAndClearEmptiesIt) {
  RowList rows;
  rows.commit(rowOf({"a", "b"}));
  EXPECT_THROW(rows.cell(0, 2), IndexFault);
  EXPECT_THROW(rows.cellCount(1), IndexFault);
  const std::string_view kept = rows.cell(0, 1);
  rows.commit(rowOf({std::string(1000, 'z')}));
  EXPECT_EQ(kept, "b");  // committing never moves earlier cells
  rows.clear();
  EXPECT_TRUE(rows.empty());
  EXPECT_THROW(rows.cellCount(0), IndexFault);
}

}  // namespace
