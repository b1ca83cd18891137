#include <gtest/gtest.h>

#include "app/ScaleUtils.h"

namespace {

struct DpiCase {
  std::vector<std::string> args;
  int expected;  // with a system value of 96
};

TEST(ScaleUtils, DpiOptionFollowsTheCommandLineRule) {
  const DpiCase cases[] = {
      {{}, 96},
      {{"-DPI120"}, 120},
      {{"/dpi144"}, 144},
      {{"-DpI96"}, 96},
      {{"-DPI1200"}, 120},              // characters 5 to 7 only
      {{"-DPI0", "-DPI120"}, 120},      // too short, skipped
      {{"-DPI00", "-DPI120"}, 96},      // qualifies, yields 0, ends the search
      {{"-DPI=120", "-DPI144"}, 96},    // "=12" is not a number
      {{"-DPI-12"}, 96},                // not above 0
      {{"xDPI120", "/DPI72"}, 72},      // wrong lead character, skipped
      {{"-DPX120", "-dpi200"}, 200},
      {{"--DPI120"}, 96},               // "-DP" is not "DPI"
      {{"-DPI12x"}, 96},
      {{"other", "-DPI150", "-DPI200"}, 150},
  };
  for (const DpiCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    EXPECT_EQ(ScaleUtils::ResolutionFromArguments(c.args, 96), c.expected) << shown;
  }
  EXPECT_EQ(ScaleUtils::ResolutionFromArguments({"-DPI00"}, 120), 120);
}

TEST(ScaleUtils, ScalingRoundsLikeMulDiv) {
  EXPECT_EQ(ScaleUtils::Scale(561, 96), 561);
  EXPECT_EQ(ScaleUtils::Scale(561, 120), 701);  // 701.25
  EXPECT_EQ(ScaleUtils::Scale(417, 144), 626);  // 625.5 rounds up
  EXPECT_EQ(ScaleUtils::Scale(13, 120), 16);    // 16.25
  EXPECT_EQ(ScaleUtils::Scale(-13, 144), -20);  // -19.5 rounds away from zero
}

}  // namespace
