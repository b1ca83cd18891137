// Where the progress window stands and where its parts are drawn. Pure functions,
// so the numbers can be checked without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "progress/ProgressTypes.h"

namespace progress {

constexpr int kInitialWidth = 450;
constexpr int kInitialHeight = 70;
constexpr int kMinWidth = 225;
constexpr int kMinHeight = 70;
constexpr int kTextLeft = 10;          // text block at (10, 2)
constexpr int kTextTop = 2;
constexpr int kTextMargin = 20;        // text block is the window width less this
constexpr int kHeightBesideText = 70;  // window height = text block + this
constexpr int kBarLeft = 20;
constexpr int kBarFromBottom = 60;     // bar top = H - 60
constexpr int kBarMargin = 40;         // bar width = W - 40
constexpr int kBarHeight = 20;
constexpr int kBlockWidth = 40;
constexpr int kBlockStep = 10;
constexpr int kTimeFromBottom = 25;    // elapsed-time text top = H - 25
constexpr int kTimeMargin = 20;
constexpr int kButtonFromRight = 120;  // button at (W - 120, H - 30), 100 x 25
constexpr int kButtonFromBottom = 30;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;
constexpr int kGapBelowWorkArea = 100;  // window bottom stands this far above the work area's

// A length laid out for 96 pixels per inch at another resolution, rounded to the
// nearest pixel: 450 -> 450 at 96, 563 at 120, 675 at 144.
int ScaleLength(int length, int pixelsPerInch);

// Centred across the work area, its bottom 100 pixels above the work area's bottom:
//   work area (0,0)-(1280,1024), 450 x 70  ->  left 415, top 854
TWindowPlace PlaceWindow(const TRect& workArea, int width, int height);

// Minimums of 225 x 70 applied: (100, 20) -> (225, 70).
void ClampWindowSize(int& width, int& height);

// The bar inside a window of `width` x `height`: (20, H - 60), W - 40 wide, 20 high.
TRect BarRect(int width, int height);

// The cancel button inside the window.
TRect ButtonRect(int width, int height);

// Next position of the moving block (no percent mode): 10 more, and -40 once it is
// past the bar's width (or not a number).  0 -> 10, 410 -> 420 > 410 -> -40 on a
// 410-wide bar.
double NextBlockPosition(double position, int barWidth);

// The block's rectangle inside the bar for a position: (x, 2)-(x + 40, barHeight - 2),
// x the position truncated toward zero.
TRect BlockRect(double position, int barHeight);

// Percent mode: 150 -> 100, -5 -> 0, NaN -> 0.
double ClampPercent(double position);

// Filled part of the bar in percent mode: (2, 2)-(trunc((barWidth - 4) * p / 100) + 2,
// barHeight - 2).  50 on a 410-wide bar -> right edge 205.
TRect PercentFillRect(double percent, int barWidth, int barHeight);

// "50 %": the whole part of the percentage followed by " %".
std::string PercentText(double percent);

// Left edge of the percent text: centred on the bar.
int PercentTextLeft(int barWidth, int textWidth);

// Left edge of the elapsed-time text: 20 when the button shows, otherwise the text
// ends 20 pixels from the right edge.
int ElapsedTextLeft(int windowWidth, int textWidth, bool buttonVisible);

// How a line's alignment value is drawn: 0 left, 1 right, anything else centred.
enum class TTextAlign { Left, Right, Center };
TTextAlign AlignmentOf(std::uint8_t alignment);

// The format with its first %s replaced by the text ("Общее время: %s").
std::string FormatWithText(const std::string& format, const std::string& text);

// The message with its first %d replaced by the number.
std::string FormatWithNumber(const std::string& format, long long number);

// Seconds as a duration, hours, minutes and seconds: 5 -> "0:00:05", 3725 -> "1:02:05",
// 90000 -> "25:00:00". The elapsed time in every locale.
std::string FormatElapsedSeconds(long long seconds);

}  // namespace progress
