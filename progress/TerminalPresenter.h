// The viewer on a text console: the lines, the owner's progress rows, a moving bar and
// the elapsed time, redrawn in place about ten times a second while the output is a
// terminal that honours the cursor escape codes; when it is not (a pipe, a log file,
// a console without escape handling), each changed stage line once, and the progress
// rows at most every kPlainStatusInterval, as plain lines.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "progress/ProgressPresenter.h"

class TTerminalPresenter final : public TProgressPresenter {
 public:
  using TWriter = std::function<void(const std::string& text)>;
  // The owner's progress rows of the moment (how far the work is); asked on the
  // viewer's thread.
  using TStatusSource = std::function<std::vector<std::string>()>;

  // `write` takes each piece of output whole; `isTerminal` chooses the redrawn
  // display over the plain one.
  TTerminalPresenter(TWriter write, bool isTerminal, TStatusSource status = nullptr);

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
  static constexpr std::chrono::seconds kPlainStatusInterval{5};

  // One display: the lines centred (or aligned) in kColumns, the progress rows, then
  // the bar with the moving part and the elapsed time. Pure, for the tests.
  static std::vector<std::string> Render(const std::vector<TStringInfo>& lines,
                                         const TFrame& frame,
                                         const std::vector<std::string>& status = {});
  // The bar "[    ####    ]" for the fill of a frame.
  static std::string RenderBar(const TFrame& frame);

 private:
  void PrintStatus();

  TWriter write_;
  bool isTerminal_;
  TStatusSource status_;
  std::vector<std::string> printedStatus_;  // progress rows last printed (plain output)
  std::chrono::steady_clock::time_point statusPrinted_;
  std::vector<TStringInfo> lines_;
  int drawnRows_ = 0;
  bool open_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
  std::map<std::int32_t, std::string> printed_;  // stage lines already printed (plain output)
};

// Whether stderr is a terminal that understands the cursor escape codes. On Windows
// this also switches the console to understand them, then checks that it really
// does: a console may accept the switch and still show the codes as characters.
bool StderrIsTerminal();

// A terminal presenter on stderr: redrawn where StderrIsTerminal, plain elsewhere.
std::unique_ptr<TTerminalPresenter> MakeStderrPresenter(
    TTerminalPresenter::TStatusSource status = nullptr);
