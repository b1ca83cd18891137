#include <gtest/gtest.h>

#include "app/UMainModel.h"

namespace {

TEST(UMainModel, OpeningSelectionIgnoresCaseButNeverPicksTheOffice) {
  EXPECT_EQ(UMain::SelectionForPath("C:\\QORD\\DB\\ZARVO.FDB"), 0);
  EXPECT_EQ(UMain::SelectionForPath("c:\\qord\\db\\zarvo.fdb"), 0);
  EXPECT_EQ(UMain::SelectionForPath("c:\\qord\\db\\tradedb\\tradedb.fdb"), 1);
  EXPECT_EQ(UMain::SelectionForPath("C:\\QORD\\OfficeDB\\OFFICE.FDB"), -1);
  EXPECT_EQ(UMain::SelectionForPath("C:\\QORD\\DB\\ZARVO.FDB "), -1);  // exact match only
  EXPECT_EQ(UMain::SelectionForPath("C:\\QORD\\DB\\"), -1);
  EXPECT_EQ(UMain::SelectionForPath(""), -1);
}

TEST(UMainModel, ClicksWriteTheBoundPathsInTheirOwnCase) {
  EXPECT_EQ(UMain::PathForSelection(0), "C:\\QORD\\DB\\ZARVO.FDB");
  EXPECT_EQ(UMain::PathForSelection(1), "C:\\QORD\\DB\\TradeDB\\TradeDB.FDB");
  EXPECT_EQ(UMain::PathForSelection(2), "C:\\QORD\\OfficeDB\\OFFICE.FDB");
  EXPECT_EQ(UMain::PathForSelection(-1), "C:\\QORD\\DB\\");
  // Every path a click writes selects its own item again at the next start,
  // except the office database.
  EXPECT_EQ(UMain::SelectionForPath(UMain::PathForSelection(0)), 0);
  EXPECT_EQ(UMain::SelectionForPath(UMain::PathForSelection(1)), 1);
  EXPECT_EQ(UMain::SelectionForPath(UMain::PathForSelection(2)), -1);
}

}  // namespace
