#include "progress/ProgressGeometry.h"

#include <cmath>
#include <cstdio>

namespace progress {

int ScaleLength(int length, int pixelsPerInch) {
  if (pixelsPerInch <= 0) return length;
  return static_cast<int>((static_cast<long long>(length) * pixelsPerInch + 48) / 96);
}

TWindowPlace PlaceWindow(const TRect& workArea, int width, int height) {
  TWindowPlace place;
  place.Width = width;
  place.Height = height;
  // Integer division rounds toward zero, as the placement rule wants.
  place.Left = (workArea.Right - workArea.Left - width) / 2;
  place.Top = workArea.Bottom - height - kGapBelowWorkArea;
  return place;
}

void ClampWindowSize(int& width, int& height) {
  if (height < kMinHeight) height = kMinHeight;
  if (width < kMinWidth) width = kMinWidth;
}

TRect BarRect(int width, int height) {
  TRect bar;
  bar.Left = kBarLeft;
  bar.Top = height - kBarFromBottom;
  bar.Right = bar.Left + (width - kBarMargin);
  bar.Bottom = bar.Top + kBarHeight;
  return bar;
}

TRect ButtonRect(int width, int height) {
  TRect button;
  button.Left = width - kButtonFromRight;
  button.Top = height - kButtonFromBottom;
  button.Right = button.Left + kButtonWidth;
  button.Bottom = button.Top + kButtonHeight;
  return button;
}

double NextBlockPosition(double position, int barWidth) {
  position += kBlockStep;
  if (std::isnan(position) || position > barWidth) position = -kBlockWidth;
  return position;
}

TRect BlockRect(double position, int barHeight) {
  int x = static_cast<int>(std::trunc(position));
  return TRect{x, 2, x + kBlockWidth, barHeight - 2};
}

double ClampPercent(double position) {
  if (position > 100) return 100;
  if (std::isnan(position) || position < 0) return 0;
  return position;
}

TRect PercentFillRect(double percent, int barWidth, int barHeight) {
  int right = static_cast<int>(std::trunc((barWidth - 4) * percent / 100)) + 2;
  return TRect{2, 2, right, barHeight - 2};
}

std::string PercentText(double percent) {
  return std::to_string(static_cast<long long>(std::trunc(percent))) + " %";
}

int PercentTextLeft(int barWidth, int textWidth) { return (barWidth - textWidth) / 2; }

int ElapsedTextLeft(int windowWidth, int textWidth, bool buttonVisible) {
  return buttonVisible ? kTimeMargin : windowWidth - textWidth - kTimeMargin;
}

TTextAlign AlignmentOf(std::uint8_t alignment) {
  switch (alignment) {
    case taLeftJustify:
      return TTextAlign::Left;
    case taRightJustify:
      return TTextAlign::Right;
    default:
      return TTextAlign::Center;
  }
}

std::string FormatWithText(const std::string& format, const std::string& text) {
  std::string::size_type at = format.find("%s");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + text + format.substr(at + 2);
}

std::string FormatWithNumber(const std::string& format, long long number) {
  std::string::size_type at = format.find("%d");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + std::to_string(number) + format.substr(at + 2);
}

std::string FormatElapsedSeconds(long long seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace progress
