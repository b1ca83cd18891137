// What a viewer thread draws with. The viewer keeps the lines, the timing and all
// geometry; a presenter only makes the pixels (or characters) of one viewer. Every
// call comes on the viewer thread, except the constructor and WorkArea, which the
// viewer's constructor may call on the owner's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "progress/ProgressTypes.h"

class TProgressViewer;

// A window handle as the viewer keeps it; 0 while none exists.
using TWindowHandle = std::uintptr_t;

// A laid-out line's size. Width is what the text really takes, which may be more
// than the width it was laid out in (a line that does not wrap, a word too long).
struct TLineExtent {
  int Width = 0;
  int Height = 0;
};

struct TWindowHandles {
  TWindowHandle Window = 0;
  TWindowHandle Button = 0;
};

// Everything one frame shows besides the background.
struct TFrame {
  int Width = 0;   // window
  int Height = 0;
  TRect Bar;       // in window coordinates
  TRect Fill;      // the moving block or the percent fill, in bar coordinates
  std::optional<std::string> PercentText;
  std::optional<std::string> ElapsedText;
  int ElapsedTop = 0;
  bool ButtonVisible = false;
  TColor BarColor = clAqua;
  bool PercentMode = false;
  double Position = 0;  // percent in percent mode
};

class TProgressPresenter {
 public:
  virtual ~TProgressPresenter() = default;

  // The desktop without the task bar, in screen pixels.
  virtual TRect WorkArea() = 0;
  // The resolution the fonts are made for; the window's width grows with it.
  virtual int PixelsPerInch() { return 96; }

  // Creates and shows the window (and the hidden button), at `place`. A window
  // handle of 0 means there is no window: the viewer then runs without painting.
  virtual TWindowHandles CreateProgressWindow(TProgressViewer& viewer, const TWindowPlace& place,
                                              bool buttonVisible) = 0;
  // Hides and closes the window made by CreateProgressWindow.
  virtual void CloseProgressWindow() = 0;

  // Handles whatever is waiting for the window; never waits.
  virtual void PumpMessages() = 0;
  // Repaints the button, if any.
  virtual void RefreshButton() = 0;

  virtual void MoveWindow(const TWindowPlace& place) = 0;
  // Moves the button (hidden), then shows it when `visible`.
  virtual void MoveButton(const TRect& rect, bool visible) = 0;
  virtual void ShowButton(bool visible) = 0;

  // Size in pixels of a line laid out `width` pixels wide.
  virtual TLineExtent MeasureLine(const TStringInfo& line, int width) = 0;
  // Draws the measured lines into the text block, `width` x `height`.
  virtual void DrawTextBlock(const std::vector<TStringInfo>& lines, int width, int height,
                             TColor background) = 0;
  // The window-sized background with its outline and the text block in it.
  virtual void ComposeBackground(int width, int height) = 0;
  // Builds the frame from the background and shows it; `viewer` is the one drawn for.
  virtual void PaintFrame(TProgressViewer* viewer, const TFrame& frame) = 0;

  // The pause between two frames.
  virtual void WaitForNextFrame(std::chrono::milliseconds delay);
};

// Makes the presenter of a new viewer.
using TProgressPresenterFactory = std::unique_ptr<TProgressPresenter> (*)();

// The platform's own: the progress window on Windows, the terminal elsewhere.
std::unique_ptr<TProgressPresenter> MakeDefaultPresenter();
// Text on stderr, for the console front end (also on Windows).
std::unique_ptr<TProgressPresenter> MakeTerminalPresenter();
