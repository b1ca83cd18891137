#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "progress/ProgressGeometry.h"

using namespace progress;

TEST(ProgressGeometry, WindowStandsCentredAboveTheWorkAreaBottom) {
  struct Case {
    TRect area;
    int width, height;
    int left, top;
  };
  const Case cases[] = {
      {{0, 0, 1280, 994}, 450, 70, 415, 824},
      {{0, 0, 1280, 994}, 450, 153, 415, 741},
      {{0, 0, 1281, 1024}, 450, 70, 415, 854},   // odd width: rounds toward zero
      {{0, 0, 200, 600}, 225, 70, -12, 430},     // narrower than the window: negative, toward zero
      {{100, 0, 1380, 994}, 450, 70, 415, 824},  // measured from the screen's left edge
  };
  for (const Case& c : cases) {
    TWindowPlace place = PlaceWindow(c.area, c.width, c.height);
    EXPECT_EQ(place.Left, c.left) << c.area.Right << " x " << c.width;
    EXPECT_EQ(place.Top, c.top);
    EXPECT_EQ(place.Width, c.width);
    EXPECT_EQ(place.Height, c.height);
  }
}

TEST(ProgressGeometry, WindowSizeHasMinimums) {
  struct Case {
    int width, height, wantWidth, wantHeight;
  };
  const Case cases[] = {
      {100, 20, 225, 70}, {225, 70, 225, 70}, {224, 69, 225, 70}, {450, 153, 450, 153}, {-5, 0, 225, 70},
  };
  for (const Case& c : cases) {
    int width = c.width, height = c.height;
    ClampWindowSize(width, height);
    EXPECT_EQ(width, c.wantWidth);
    EXPECT_EQ(height, c.wantHeight);
  }
}

TEST(ProgressGeometry, BarAndButtonFollowTheWindowSize) {
  EXPECT_EQ(BarRect(450, 130), (TRect{20, 70, 430, 90}));
  EXPECT_EQ(BarRect(450, 130).Width(), 410);
  EXPECT_EQ(ButtonRect(450, 130), (TRect{330, 100, 430, 125}));
}

TEST(ProgressGeometry, BlockRunsAcrossTheBarAndStartsAgainLeftOfIt) {
  const int barWidth = BarRect(450, 70).Width();  // 410
  std::vector<int> positions;
  double position = 0;
  for (int frame = 0; frame < 44; ++frame) {
    position = NextBlockPosition(position, barWidth);
    positions.push_back(static_cast<int>(position));
  }
  // 10, 20, ... 410, then -40, -30, -20
  for (int i = 0; i < 41; ++i) EXPECT_EQ(positions[i], 10 * (i + 1)) << i;
  EXPECT_EQ(positions[41], -40);
  EXPECT_EQ(positions[42], -30);
  EXPECT_EQ(positions[43], -20);
  EXPECT_EQ(NextBlockPosition(std::numeric_limits<double>::quiet_NaN(), barWidth), -40);

  EXPECT_EQ(BlockRect(-40, 20), (TRect{-40, 2, 0, 18}));  // entirely left of the bar
  EXPECT_EQ(BlockRect(-30, 20), (TRect{-30, 2, 10, 18}));  // its right part shows again
  EXPECT_EQ(BlockRect(12.9, 20), (TRect{12, 2, 52, 18}));  // truncated toward zero
  EXPECT_EQ(BlockRect(-12.9, 20).Left, -12);
}

TEST(ProgressGeometry, PercentIsClampedAndFillsItsShare) {
  struct Case {
    double in, clamped;
  };
  const Case cases[] = {{150, 100}, {-5, 0}, {0, 0}, {100, 100}, {42.5, 42.5},
                        {std::numeric_limits<double>::quiet_NaN(), 0}};
  for (const Case& c : cases) EXPECT_EQ(ClampPercent(c.in), c.clamped) << c.in;

  EXPECT_EQ(PercentFillRect(50, 410, 20), (TRect{2, 2, 205, 18}));
  EXPECT_EQ(PercentFillRect(0, 410, 20).Right, 2);
  EXPECT_EQ(PercentFillRect(100, 410, 20).Right, 408);
  EXPECT_EQ(PercentFillRect(33.3, 410, 20).Right, 137);  // trunc(406 * 0.333) + 2

  EXPECT_EQ(PercentText(50), "50 %");
  EXPECT_EQ(PercentText(99.9), "99 %");
  EXPECT_EQ(PercentText(0), "0 %");
  EXPECT_EQ(PercentTextLeft(410, 31), 189);
}

TEST(ProgressGeometry, ElapsedTextSitsBesideTheButtonOrAtTheRight) {
  EXPECT_EQ(ElapsedTextLeft(450, 100, false), 330);  // ends 20 pixels from the right edge
  EXPECT_EQ(ElapsedTextLeft(450, 100, true), 20);    // starts 20 pixels from the left
}

TEST(ProgressGeometry, AlignmentValuesOutsideTheThreeAreCentred) {
  EXPECT_EQ(AlignmentOf(0), TTextAlign::Left);
  EXPECT_EQ(AlignmentOf(1), TTextAlign::Right);
  EXPECT_EQ(AlignmentOf(2), TTextAlign::Center);
  EXPECT_EQ(AlignmentOf(7), TTextAlign::Center);
  EXPECT_EQ(AlignmentOf(255), TTextAlign::Center);
}

TEST(ProgressGeometry, FormatsPutTheirValueInPlace) {
  EXPECT_EQ(FormatWithNumber("Строка с номером %d не найдена!", 7), "Строка с номером 7 не найдена!");
  EXPECT_EQ(FormatWithNumber("Строка с номером %d не найдена!", -2147483647 - 1),
            "Строка с номером -2147483648 не найдена!");
  EXPECT_EQ(FormatWithText("Общее время: %s", "0:00:05"), "Общее время: 0:00:05");
  EXPECT_EQ(FormatWithText("no place", "x"), "no place");
  EXPECT_EQ(FormatElapsedSeconds(0), "0:00:00");
  EXPECT_EQ(FormatElapsedSeconds(3725), "1:02:05");
}
