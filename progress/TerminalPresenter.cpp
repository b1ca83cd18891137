#include "progress/TerminalPresenter.h"

#include "platform/ConsoleOutput.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "progress/ProgressGeometry.h"

namespace {

// Characters, not bytes: the texts are UTF-8.
int DisplayLength(const std::string& text) {
  int length = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++length;
  return length;
}

std::string Align(const std::string& text, std::uint8_t alignment, int columns) {
  int gap = columns - DisplayLength(text);
  if (gap <= 0) return text;
  switch (progress::AlignmentOf(alignment)) {
    case progress::TTextAlign::Left:
      return text;
    case progress::TTextAlign::Right:
      return std::string(static_cast<std::size_t>(gap), ' ') + text;
    default:
      return std::string(static_cast<std::size_t>(gap / 2), ' ') + text;
  }
}

// The owner's own lines (keys 1 to 999) are the stages of its work.
bool IsStageLine(std::int32_t key) { return key >= 1 && key <= 999; }

}  // namespace

TTerminalPresenter::TTerminalPresenter(TWriter write, bool isTerminal, TStatusSource status)
    : write_(std::move(write)), isTerminal_(isTerminal), status_(std::move(status)) {}

TRect TTerminalPresenter::WorkArea() {
  // Nominal: a terminal has no desktop; the geometry only needs some numbers.
  return TRect{0, 0, 1280, 1024};
}

TWindowHandles TTerminalPresenter::CreateProgressWindow(TProgressViewer&, const TWindowPlace&,
                                                        bool) {
  open_ = true;
  lastDraw_ = std::chrono::steady_clock::time_point();
  // Any value other than 0 says "there is a display"; no button on a terminal.
  return TWindowHandles{reinterpret_cast<TWindowHandle>(this), 0};
}

void TTerminalPresenter::CloseProgressWindow() {
  if (isTerminal_ && drawnRows_ > 0) {
    // Take the display away, so what the program writes next starts where it stood.
    write_("\x1b[" + std::to_string(drawnRows_) + "A\r\x1b[J");
    drawnRows_ = 0;
  }
  open_ = false;
}

TLineExtent TTerminalPresenter::MeasureLine(const TStringInfo&, int) { return TLineExtent{0, 1}; }

void TTerminalPresenter::DrawTextBlock(const std::vector<TStringInfo>& lines, int, int, TColor) {
  lines_ = lines;
  if (isTerminal_) return;
  // Plain output: each stage line once, when it first shows and whenever it changes.
  std::string out;
  for (const TStringInfo& line : lines) {
    if (!IsStageLine(line.Key)) continue;
    auto found = printed_.find(line.Key);
    if (found != printed_.end() && found->second == line.Text) continue;
    printed_[line.Key] = line.Text;
    out += line.Text + "\n";
  }
  if (!out.empty()) write_(out);
}

std::string TTerminalPresenter::RenderBar(const TFrame& frame) {
  int barWidth = frame.Bar.Width();
  std::string cells(kBarCells, ' ');
  if (barWidth > 0) {
    int from = frame.Fill.Left * kBarCells / barWidth;
    int to = frame.Fill.Right * kBarCells / barWidth;
    for (int i = std::max(0, from); i < std::min(kBarCells, to); ++i)
      cells[static_cast<std::size_t>(i)] = '#';
  }
  std::string bar = "[" + cells + "]";
  if (frame.PercentText) bar += " " + *frame.PercentText;
  return bar;
}

std::vector<std::string> TTerminalPresenter::Render(const std::vector<TStringInfo>& lines,
                                                    const TFrame& frame,
                                                    const std::vector<std::string>& status) {
  std::vector<std::string> rows;
  for (const TStringInfo& line : lines) rows.push_back(Align(line.Text, line.Alignment, kColumns));
  for (const std::string& row : status) rows.push_back(Align(row, taCenter, kColumns));
  rows.push_back(Align(RenderBar(frame), taCenter, kColumns));
  if (frame.ElapsedText) rows.push_back(Align(*frame.ElapsedText, taRightJustify, kColumns));
  return rows;
}

void TTerminalPresenter::PrintStatus() {
  auto now = std::chrono::steady_clock::now();
  if (!status_ || now - statusPrinted_ < kPlainStatusInterval) return;
  std::vector<std::string> rows = status_();
  if (rows.empty() || rows == printedStatus_) return;
  statusPrinted_ = now;
  printedStatus_ = rows;
  std::string out;
  for (const std::string& row : rows) out += row + "\n";
  write_(out);
}

void TTerminalPresenter::PaintFrame(TProgressViewer*, const TFrame& frame) {
  if (!isTerminal_) return PrintStatus();
  auto now = std::chrono::steady_clock::now();
  if (drawnRows_ > 0 && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  std::string out;
  if (drawnRows_ > 0) out += "\x1b[" + std::to_string(drawnRows_) + "A";
  std::vector<std::string> rows =
      Render(lines_, frame, status_ ? status_() : std::vector<std::string>());
  for (const std::string& row : rows) out += "\r\x1b[2K" + row + "\n";
  // A display that shrank leaves old rows below; clear them.
  if (static_cast<int>(rows.size()) < drawnRows_) out += "\x1b[J";
  drawnRows_ = static_cast<int>(rows.size());
  write_(out);
}

std::unique_ptr<TTerminalPresenter> MakeStderrPresenter(TTerminalPresenter::TStatusSource status) {
  return std::make_unique<TTerminalPresenter>(
      [](const std::string& text) { platform::WriteConsoleText(stderr, text); },
      StderrIsTerminal(), std::move(status));
}

std::unique_ptr<TProgressPresenter> MakeTerminalPresenter() { return MakeStderrPresenter(); }

#ifndef _WIN32

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::unique_ptr<TProgressPresenter> MakeDefaultPresenter() { return MakeTerminalPresenter(); }

#endif
