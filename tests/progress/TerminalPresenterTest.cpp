// The terminal display: in place on a terminal, plain stage lines elsewhere.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "progress/ProgressGeometry.h"
#include "progress/ProgressViewer.h"
#include "progress/TerminalPresenter.h"
#include "tests/progress/FreedViewers.h"

namespace {

// Collects what a presenter writes, for a test to wait on.
struct Output {
  std::mutex lock;
  std::condition_variable changed;
  std::string text;
  int writes = 0;

  TTerminalPresenter::TWriter Writer() {
    return [this](const std::string& piece) {
      std::lock_guard<std::mutex> guard(lock);
      text += piece;
      ++writes;
      changed.notify_all();
    };
  }
  bool WaitFor(const std::function<bool(const std::string&)>& done) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return done(text); });
  }
};

TStringInfo Line(std::int32_t key, const std::string& text, std::uint8_t alignment = taCenter) {
  TStringInfo line;
  line.Key = key;
  line.Text = text;
  line.Alignment = alignment;
  return line;
}

TFrame FrameWithFill(int left, int right) {
  TFrame frame;
  frame.Width = 450;
  frame.Height = 130;
  frame.Bar = progress::BarRect(450, 130);
  frame.Fill = TRect{left, 2, right, 18};
  frame.ElapsedText = "Общее время: 0:00:01";
  return frame;
}

}  // namespace

TEST(TerminalPresenter, PlainOutputPrintsEachChangedStageLineOnce) {
  Output out;
  TTerminalPresenter presenter(out.Writer(), false);
  std::vector<TStringInfo> lines = {Line(-1, "Velmora - ZARVO"), Line(0, "CAPTION"),
                                    Line(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ"), Line(1000, " ")};
  presenter.DrawTextBlock(lines, 430, 4, clBtnFace);
  presenter.DrawTextBlock(lines, 430, 4, clBtnFace);  // a layout without a change
  presenter.PaintFrame(nullptr, FrameWithFill(10, 50));
  lines[2].Text = "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ";
  presenter.DrawTextBlock(lines, 430, 4, clBtnFace);
  EXPECT_EQ(out.text, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ\nВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ\n");
}

TEST(TerminalPresenter, TerminalOutputRedrawsInPlace) {
  Output out;
  TTerminalPresenter presenter(out.Writer(), true);
  presenter.DrawTextBlock({Line(-1, "TITLE"), Line(10, "STAGE", taRightJustify)}, 430, 2, 0);
  presenter.PaintFrame(nullptr, FrameWithFill(-40, 0));
  std::string first = out.text;
  EXPECT_EQ(first.find("\x1b[4A"), std::string::npos);  // nothing above to go back over
  EXPECT_NE(first.find("TITLE\n"), std::string::npos);
  EXPECT_NE(first.find(std::string(TTerminalPresenter::kColumns - 5, ' ') + "STAGE\n"),
            std::string::npos);
  // A frame that comes sooner than the redraw interval is not drawn.
  presenter.PaintFrame(nullptr, FrameWithFill(-30, 10));
  EXPECT_EQ(out.writes, 1);
  presenter.CloseProgressWindow();
  EXPECT_EQ(out.text.substr(first.size()), "\x1b[4A\r\x1b[J");  // title, stage, bar, time
}

TEST(TerminalPresenter, RenderShowsLinesBarAndTime) {
  TFrame frame = FrameWithFill(205, 245);  // from the middle of a 410-wide bar
  std::vector<std::string> rows =
      TTerminalPresenter::Render({Line(0, "ОПТИМИЗАЦИЯ"), Line(1, "left", taLeftJustify)}, frame);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], std::string((64 - 11) / 2, ' ') + "ОПТИМИЗАЦИЯ");  // centred by characters
  EXPECT_EQ(rows[1], "left");
  EXPECT_EQ(TTerminalPresenter::RenderBar(frame),
            "[" + std::string(20, ' ') + "###" + std::string(17, ' ') + "]");
  EXPECT_EQ(rows[3], std::string(64 - 20, ' ') + "Общее время: 0:00:01");  // 20 characters

  frame.Fill = progress::PercentFillRect(50, 410, 20);
  frame.PercentText = "50 %";
  EXPECT_EQ(TTerminalPresenter::RenderBar(frame), "[" + std::string(20, '#') + std::string(20, ' ') + "] 50 %");
}

// The owner's progress rows: under the lines when redrawn; as plain lines at most
// every few seconds elsewhere (a console that shows escape codes as characters).
TEST(TerminalPresenter, ProgressRowsShowUnderTheLines) {
  std::vector<std::string> rows = TTerminalPresenter::Render(
      {Line(10, "STAGE", taLeftJustify)}, FrameWithFill(0, 10), {"Сохранено таблиц: 1 из 6"});
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], std::string((64 - 24) / 2, ' ') + "Сохранено таблиц: 1 из 6");

  Output out;
  std::vector<std::string> status = {"Таблица A: записано 10 000", "Сохранено таблиц: 0 из 2"};
  TTerminalPresenter presenter(out.Writer(), false, [&] { return status; });
  presenter.PaintFrame(nullptr, FrameWithFill(0, 10));
  status[0] = "Таблица A: записано 20 000";
  presenter.PaintFrame(nullptr, FrameWithFill(0, 10));  // sooner than the interval
  EXPECT_EQ(out.text, "Таблица A: записано 10 000\nСохранено таблиц: 0 из 2\n");
}

TEST(TerminalPresenter, ViewerPrintsStagesWithoutEscapes) {
  freed_viewers::Watch();
  ProgressFrameDelay = 5;
  Output out;
  auto* viewer = new TProgressViewer("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", false, false, nullptr,
                                     std::make_unique<TTerminalPresenter>(out.Writer(), false));
  viewer->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, false, 0x008000, fsBold, -1, "");
  ASSERT_TRUE(out.WaitFor([](const std::string& t) { return !t.empty(); }));
  viewer->SetString(10, "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ", taRightJustify, false, 0x008000, fsBold,
                    -1, "");
  ASSERT_TRUE(out.WaitFor([](const std::string& t) { return t.find("ВОССТ") != std::string::npos; }));
  viewer->Terminate();
  ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  ProgressFrameDelay = 50;
  std::lock_guard<std::mutex> guard(out.lock);
  EXPECT_EQ(out.text, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ\nВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ\n");
}

TEST(TerminalPresenter, ViewerRedrawsInPlaceOnATerminalAndClearsAtTheEnd) {
  freed_viewers::Watch();
  Output out;
  auto* viewer = new TProgressViewer("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", false, false, nullptr,
                                     std::make_unique<TTerminalPresenter>(out.Writer(), true));
  viewer->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, true, 0x008000, fsBold, 14, "");
  // Two redraws with the stage line: the second goes back over the first.
  ASSERT_TRUE(out.WaitFor([](const std::string& t) {
    std::size_t first = t.find("СОЗДАНИЕ");
    return first != std::string::npos && t.find("СОЗДАНИЕ", first + 1) != std::string::npos;
  }));
  viewer->Terminate();
  ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  std::lock_guard<std::mutex> guard(out.lock);
  // title, caption, stage, blank, two wait lines, bar, elapsed time
  EXPECT_NE(out.text.find("\x1b[8A"), std::string::npos);
  EXPECT_NE(out.text.find("Выполняется длительная операция. Она может"), std::string::npos);
  EXPECT_NE(out.text.find("Общее время: "), std::string::npos);
  EXPECT_EQ(out.text.substr(out.text.size() - 8), "\x1b[8A\r\x1b[J");
}

#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"

// A real console (Wine's accepts the switch to escape codes and still shows them as
// characters): whatever the answer, the check leaves nothing on the screen and the
// cursor where it was, and a "yes" means the codes really move nothing.
TEST(TerminalPresenter, EscapeCheckLeavesTheConsoleClean) {
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole());
  HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  HANDLE oldError = ::GetStdHandle(STD_ERROR_HANDLE);
  ::SetStdHandle(STD_ERROR_HANDLE, console);
  DWORD written = 0;
  ::WriteConsoleW(console, L"ab", 2, &written, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO before;
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(console, &before));

  bool honoured = StderrIsTerminal();

  CONSOLE_SCREEN_BUFFER_INFO after;
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(console, &after));
  EXPECT_EQ(after.dwCursorPosition.X, before.dwCursorPosition.X);
  EXPECT_EQ(after.dwCursorPosition.Y, before.dwCursorPosition.Y);
  wchar_t row[8] = {};
  DWORD read = 0;
  COORD start{0, before.dwCursorPosition.Y};
  ASSERT_TRUE(::ReadConsoleOutputCharacterW(console, row, 6, start, &read));
  EXPECT_EQ(std::wstring(row, read), L"ab    ");
  if (honoured) {
    ::WriteConsoleW(console, L"\x1b[0m", 4, &written, nullptr);
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(console, &after));
    EXPECT_EQ(after.dwCursorPosition.X, before.dwCursorPosition.X);
  }
  std::printf("the console %s escape codes\n", honoured ? "honours" : "does not honour");
  ::SetStdHandle(STD_ERROR_HANDLE, oldError);
  ::CloseHandle(console);
  ::FreeConsole();
}
#endif
