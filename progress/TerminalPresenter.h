// The viewer on a text console: the lines, a moving bar and the elapsed time,
// redrawn in place about ten times a second while the output is a terminal; when it
// is not (a pipe, a log file), only each changed stage line, once, as plain text.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "progress/ProgressPresenter.h"

class TTerminalPresenter final : public TProgressPresenter {
 public:
  using TWriter = std::function<void(const std::string& text)>;

  // `write` takes each piece of output whole; `isTerminal` chooses the redrawn
  // display over the plain one.
  TTerminalPresenter(TWriter write, bool isTerminal);

  TRect WorkArea() override;
  TWindowHandles CreateProgressWindow(TProgressViewer& viewer, const TWindowPlace& place,
                                      bool buttonVisible) override;
  void CloseProgressWindow() override;
  void PumpMessages() override {}
  void RefreshButton() override {}
  void MoveWindow(const TWindowPlace&) override {}
  void MoveButton(const TRect&, bool) override {}
  void ShowButton(bool) override {}
  TLineExtent MeasureLine(const TStringInfo& line, int width) override;
  void DrawTextBlock(const std::vector<TStringInfo>& lines, int width, int height,
                     TColor background) override;
  void ComposeBackground(int, int) override {}
  void PaintFrame(TProgressViewer* viewer, const TFrame& frame) override;

  static constexpr int kColumns = 64;    // width of the display in characters
  static constexpr int kBarCells = 40;   // width of the bar in characters
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  // One display: the lines centred (or aligned) in kColumns, then the bar with the
  // moving part and the elapsed time. Pure, for the tests.
  static std::vector<std::string> Render(const std::vector<TStringInfo>& lines,
                                         const TFrame& frame);
  // The bar "[    ####    ]" for the fill of a frame.
  static std::string RenderBar(const TFrame& frame);

 private:
  TWriter write_;
  bool isTerminal_;
  std::vector<TStringInfo> lines_;
  int drawnRows_ = 0;
  bool open_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
  std::map<std::int32_t, std::string> printed_;  // stage lines already printed (plain output)
};

// Whether stderr is a terminal that understands the cursor escape codes (on Windows
// this also switches the console to understand them).
bool StderrIsTerminal();
