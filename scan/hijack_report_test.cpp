#include "scan/hijack_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace wl {
namespace {

using ::testing::ElementsAre;

TEST(HijackReportTest, AnEmptyReportHoldsTheHeaderAndTwoBlankLines) {
  EXPECT_THAT(HijackReportLines("1.5.2024", "", {}),
              ElementsAre("---Quellstone Hijack Report---", "---Date: 1.5.2024", "---Operation System: ", " ", " "));
  EXPECT_EQ(JoinLines({"a", " "}), "a\r\n \r\n");
}

TEST(HijackReportTest, RowsAreWrittenAsCategoryThenNameWithoutTheirIndex) {
  const std::vector<HijackRow> rows = {{"run: fast.exe", "Startup Item", 4, {}, 21, {}},
                                       {"Bar", "IE ToolBar", 0, "{1234}", 25, {}}};
  const auto lines = HijackReportLines("d", "Windows 10", rows);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], "---Operation System: Windows 10");
  EXPECT_EQ(lines[5], "Startup Item: run: fast.exe");
  EXPECT_EQ(lines[6], "IE ToolBar: Bar");
}

TEST(HijackReportTest, TheSuggestedFileNameHoldsOnlyCharactersAFileNameCanHold) {
  EXPECT_EQ(HijackReportFileName("2024-05-01"), "Hijack_Report(2024-05-01).txt");
  EXPECT_EQ(HijackReportFileName("12/31/2024"), "Hijack_Report(12-31-2024).txt");
  EXPECT_EQ(HijackReportFileName("31.12.24 :x"), "Hijack_Report(31.12.24 -x).txt");
}

}  // namespace
}  // namespace wl
