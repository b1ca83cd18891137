// Real progress windows (under Wine and Xvfb in the Windows build): class, styles,
// place, size, painting while the owner is blocked, keys, close and teardown.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/WindowsSupport.h"
#include "progress/ProgressViewer.h"
#include "tests/progress/FreedViewers.h"

namespace {

// Frames painted, seen through the frame hook.
struct Frames {
  std::mutex lock;
  std::condition_variable changed;
  long count = 0;
  bool changeLines = false;  // the hook changes line 10 every tenth frame
};
Frames frames;

void NoteFrame(TProgressViewer* viewer) {
  bool change = false;
  long count = 0;
  {
    std::lock_guard<std::mutex> guard(frames.lock);
    count = ++frames.count;
    change = frames.changeLines && count % 10 == 0;
    frames.changed.notify_all();
  }
  // A change of the lines makes the next pass lay out and compose afresh.
  if (change)
    viewer->SetString(10, "кадр " + std::to_string(count), taRightJustify, true, 0x008000, fsBold, 14, "");
}

long FrameCount() {
  std::lock_guard<std::mutex> guard(frames.lock);
  return frames.count;
}

bool WaitFrames(long atLeast, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
  std::unique_lock<std::mutex> guard(frames.lock);
  return frames.changed.wait_for(guard, deadline, [&] { return frames.count >= atLeast; });
}

RECT WorkArea() {
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

// This process's windows of the progress class (other test processes may show
// theirs on the same desktop at the same time).
BOOL CALLBACK AddOwnProgressWindow(HWND window, LPARAM list) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId() && ClassOf(window) == L"ProgressViewerFormClass")
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> OwnProgressWindows() {
  std::vector<HWND> found;
  ::EnumWindows(&AddOwnProgressWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// GDI objects this process holds. GetGuiResources where the system counts them;
// Wine's answers 0, and there a handle with a zero upper word names the object in
// that slot whatever its generation, so the slots in use can be counted.
DWORD GdiObjectCount() {
  DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return count;
  for (std::uintptr_t slot = 1; slot <= 0xFFFF; ++slot)
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++count;
  return count;
}

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    freed_viewers::Watch();
    ProgressFrameHook.store(&NoteFrame);
    ProgressAppTitle = "Velmora - ZARVO";
  }
  void TearDown() override {
    if (viewer_) {
      viewer_->Terminate();
      EXPECT_TRUE(freed_viewers::WaitFreed(viewer_));
    }
    ProgressFrameHook.store(nullptr);
    ProgressFrameDelay = 50;
    ProgressPixelsPerInch = 0;
    std::lock_guard<std::mutex> guard(frames.lock);
    frames.changeLines = false;
  }

  // The rebuild's viewer: its caption and its first stage line.
  HWND Show(bool button = false) {
    viewer_ = new TProgressViewer("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", false, button);
    viewer_->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, true, 0x008000, fsBold, 14, "");
    EXPECT_TRUE(WaitFrames(FrameCount() + 2));
    return reinterpret_cast<HWND>(viewer_->WindowHandle());
  }

  // Waits until the window has the height of its laid-out lines plus 70.
  int WaitLaidOut(HWND window) {
    int want = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      want = 70;
      for (const TStringInfo& line : viewer_->Strings()) want += line.Height;
      RECT rect{};
      ::GetWindowRect(window, &rect);
      if (want > 70 && rect.bottom - rect.top == want) return want;
      if (!WaitFrames(FrameCount() + 1)) break;
    }
    ADD_FAILURE() << "the window never took the height of its lines + 70 (" << want << ")";
    return want;
  }

  TProgressViewer* viewer_ = nullptr;
};

}  // namespace

TEST_F(ProgressWindowTest, ClassIsRegisteredAtStartUp) {
  EXPECT_TRUE(ViewerClassRegistered);
  WNDCLASSW windowClass{};
  ASSERT_TRUE(::GetClassInfoW(::GetModuleHandleW(nullptr), L"ProgressViewerFormClass", &windowClass));
  EXPECT_EQ(windowClass.style, 3u);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(windowClass.hbrBackground), COLOR_WINDOW + 1);
  EXPECT_TRUE(RegisterViewerClass());  // an existing class counts as registered
}

TEST_F(ProgressWindowTest, MessagesComeFromTheStringTable) {
  wchar_t text[256] = {};
  ASSERT_GT(::LoadStringW(::GetModuleHandleW(nullptr), 65521, text, 256), 0);
  EXPECT_EQ(platform::Narrow(text), "Строка с номером %d не найдена!");
  for (int id : {65520, 65521, 65522}) EXPECT_EQ(LoadProgressMessage(id), CompiledProgressMessage(id));
  EXPECT_EQ(LoadProgressMessage(65520),
            "Класс окна визуализации \"ProgressViewerFormClass\" не зарегистрирован!");
}

TEST_F(ProgressWindowTest, WindowHasItsClassStylesPlaceAndSize) {
  HWND window = Show();
  ASSERT_TRUE(::IsWindow(window));
  EXPECT_EQ(ClassOf(window), L"ProgressViewerFormClass");
  EXPECT_EQ(TextOf(window), L"ProgressWnd");
  // The system adds WS_CLIPSIBLINGS to every top-level window; nothing else is there.
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)) & ~DWORD{WS_CLIPSIBLINGS},
            0x90000000u);
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)), 0x88u);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(OwnProgressWindows(), (std::vector<HWND>{window}));

  int height = WaitLaidOut(window);
  for (const TStringInfo& line : viewer_->Strings()) EXPECT_GT(line.Height, 0) << line.Key;
  RECT rect{};
  ::GetWindowRect(window, &rect);
  RECT area = WorkArea();
  EXPECT_EQ(rect.right - rect.left, 450);
  EXPECT_EQ(rect.bottom - rect.top, height);
  EXPECT_EQ(rect.left, (area.right - area.left - 450) / 2);
  EXPECT_EQ(rect.top, area.bottom - height - 100);
  std::printf("window at (%ld, %ld), 450 x %d; work area bottom %ld\n", rect.left, rect.top, height,
              area.bottom);

  // The cancel button exists, hidden, with its caption.
  HWND button = ::FindWindowExW(window, nullptr, L"BUTTON", nullptr);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(reinterpret_cast<HWND>(viewer_->ButtonHandle()), button);
  EXPECT_FALSE(::IsWindowVisible(button));
  EXPECT_EQ(platform::Narrow(TextOf(button)), "Отмена (Esc)");
}

TEST_F(ProgressWindowTest, PaintsTheOutlineAndTheButtonFace) {
  HWND window = Show();
  int height = WaitLaidOut(window);
  ASSERT_TRUE(WaitFrames(FrameCount() + 2));
  platform::WindowDc dc(window);
  EXPECT_EQ(::GetPixel(dc.Get(), 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(::GetPixel(dc.Get(), 449, height - 1), RGB(0, 0, 0));
  EXPECT_EQ(::GetPixel(dc.Get(), 3, height - 3), ::GetSysColor(COLOR_BTNFACE));
  // The bar's black outline at (20, H - 60) and its white inside near the right end
  // (where the block stands only at the end of its run).
  EXPECT_EQ(::GetPixel(dc.Get(), 20, height - 60), RGB(0, 0, 0));
  EXPECT_EQ(::GetPixel(dc.Get(), 20, height - 50), RGB(0, 0, 0));
  COLORREF inside = ::GetPixel(dc.Get(), 21, height - 59);
  EXPECT_EQ(inside, RGB(255, 255, 255));
}

TEST_F(ProgressWindowTest, KeepsPaintingWhileTheOwnerIsBlocked) {
  Show();
  long before = FrameCount();
  auto start = std::chrono::steady_clock::now();
  ::Sleep(1000);  // the owner's thread blocked, as in a backup
  long painted = FrameCount() - before;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("frames while the owner slept %.2f s: %ld (%.1f per second)\n", seconds, painted,
              painted / seconds);
  // About twenty a second at the default 50 ms (19 seen under Wine). The floor leaves
  // room for a loaded machine, but a viewer three times slower than its timer fails.
  EXPECT_GE(painted / seconds, 8.0);
}

// The private paint message's number is an ordinary one that any process may send
// (or broadcast): a wParam that is not the window's own viewer is ignored.
TEST_F(ProgressWindowTest, StrayPaintMessagesAreIgnored) {
  HWND window = Show();
  int notAViewer = 0;
  ::PostMessageW(window, WM_USER + 1, 0x12345678, 0);
  DWORD_PTR ignored = 0;
  EXPECT_NE(::SendMessageTimeoutW(window, WM_USER + 1, reinterpret_cast<WPARAM>(&notAViewer), 0,
                                  SMTO_ABORTIFHUNG, 5000, &ignored),
            0);
  ::PostMessageW(window, WM_USER + 1, 1, 0);
  ASSERT_TRUE(WaitFrames(FrameCount() + 3));
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(notAViewer, 0);
}

// The window's thread answers a log-off or shut-down at once, and with a no: the
// window shows while a long operation must not be cut off.
TEST_F(ProgressWindowTest, AnswersTheSessionEndAtOnceWithANo) {
  HWND window = Show();
  DWORD_PTR answer = TRUE;
  ASSERT_NE(::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                  SMTO_ABORTIFHUNG, 5000, &answer),
            0);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
}

// The fonts grow with the resolution; so does the window, and every line fits in
// the text block whatever the font's real width (measured here on its own).
TEST_F(ProgressWindowTest, EveryLineFitsAtEachResolution) {
  for (int ppi : {96, 120, 144}) {
    SCOPED_TRACE(ppi);
    ProgressPixelsPerInch = ppi;
    HWND window = Show();
    WaitLaidOut(window);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    EXPECT_GE(width, ::MulDiv(450, ppi, 96));
    if (ppi == 96) {
      EXPECT_EQ(width, 450);
    }
    RECT area = WorkArea();
    EXPECT_EQ(rect.left, (area.right - area.left - width) / 2);
    platform::WindowDc screen(nullptr);
    for (const TStringInfo& line : viewer_->Strings()) {
      if (line.WordWrap) continue;  // breaks at its blanks to fit
      platform::ScopedGdiObject font(::CreateFontW(
          -::MulDiv(line.FontSize, ppi, 72), 0, 0, 0, (line.FontStyle & fsBold) ? FW_BOLD : FW_NORMAL,
          0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, platform::Widen(line.FontName).c_str()));
      platform::SelectGuard select(screen.Get(), font.Get());
      std::wstring text = platform::Widen(line.Text);
      SIZE size{};
      ::GetTextExtentPoint32W(screen.Get(), text.c_str(), static_cast<int>(text.size()), &size);
      EXPECT_LE(size.cx, width - 20) << platform::Narrow(text);
    }
    std::printf("%d ppi: window %d x %ld\n", ppi, width, rect.bottom - rect.top);
    TProgressViewer* viewer = viewer_;
    viewer_ = nullptr;
    viewer->Terminate();
    ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  }
}

TEST_F(ProgressWindowTest, CloseIsIgnoredAndEscCancels) {
  HWND window = Show();
  std::mutex lock;
  std::condition_variable cancelled;
  int calls = 0;
  viewer_->SetOnCancel([&](TProgressViewer&) {
    std::lock_guard<std::mutex> guard(lock);
    ++calls;
    cancelled.notify_all();
  });

  ::SendMessageW(window, WM_CLOSE, 0, 0);
  ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitFrames(FrameCount() + 3));
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_TRUE(::IsWindowVisible(window));

  ::PostMessageW(window, WM_KEYDOWN, 'A', 0);  // any other key does nothing
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  std::unique_lock<std::mutex> guard(lock);
  ASSERT_TRUE(cancelled.wait_for(guard, std::chrono::seconds(10), [&] { return calls > 0; }));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(viewer_->Cancelled());
}

TEST_F(ProgressWindowTest, CancelButtonShowsAndCancels) {
  HWND window = Show(true);
  int height = WaitLaidOut(window);
  HWND button = reinterpret_cast<HWND>(viewer_->ButtonHandle());
  ASSERT_NE(button, nullptr);
  // Moved along with the window's growth, and shown again.
  for (int attempt = 0; attempt < 50 && !::IsWindowVisible(button); ++attempt)
    WaitFrames(FrameCount() + 1);
  EXPECT_TRUE(::IsWindowVisible(button));
  RECT rect{};
  ::GetWindowRect(button, &rect);
  POINT corner{rect.left, rect.top};
  ::ScreenToClient(window, &corner);
  EXPECT_EQ(corner.x, 450 - 120);
  EXPECT_EQ(corner.y, height - 30);
  EXPECT_EQ(rect.right - rect.left, 100);
  EXPECT_EQ(rect.bottom - rect.top, 25);

  std::mutex lock;
  std::condition_variable cancelled;
  bool done = false;
  viewer_->SetOnCancel([&](TProgressViewer&) {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    cancelled.notify_all();
  });
  ::PostMessageW(button, BM_CLICK, 0, 0);  // the button tells its parent, as on a real click
  std::unique_lock<std::mutex> guard(lock);
  ASSERT_TRUE(cancelled.wait_for(guard, std::chrono::seconds(10), [&] { return done; }));
  EXPECT_TRUE(viewer_->Cancelled());
}

TEST_F(ProgressWindowTest, WindowIsGoneAfterTerminate) {
  HWND window = Show();
  TProgressViewer* viewer = viewer_;
  viewer_ = nullptr;
  auto start = std::chrono::steady_clock::now();
  viewer->Terminate();
  ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("viewer gone %.0f ms after Terminate\n", ms);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(TProgressViewer::FindViewerByWindow(reinterpret_cast<TWindowHandle>(window)), nullptr);
  EXPECT_TRUE(OwnProgressWindows().empty());
}

TEST_F(ProgressWindowTest, TerminateRightAfterConstructionClosesTheWindow) {
  for (int i = 0; i < 5; ++i) {
    auto* viewer = new TProgressViewer("x", false, i % 2 == 0);
    viewer->Terminate();
    ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  }
  EXPECT_TRUE(OwnProgressWindows().empty());
}

// A viewer the owner never terminated: the unit's shut-down ends it and joins its
// thread, so that no viewer thread is still running while the process ends.
TEST_F(ProgressWindowTest, ShutdownEndsAForgottenViewerAndJoinsItsThread) {
  HWND window = Show();
  TProgressViewer* viewer = viewer_;
  viewer_ = nullptr;
  platform::ScopedKernelHandle thread(
      ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(window, nullptr)));
  ASSERT_TRUE(thread);
  ASSERT_TRUE(ProgressViewerShutdown());
  EXPECT_EQ(::WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);  // ended, not ending
  EXPECT_TRUE(freed_viewers::WaitFreed(viewer, std::chrono::milliseconds(0)));
  EXPECT_FALSE(::IsWindow(window));
}

TEST_F(ProgressWindowTest, GdiObjectsDoNotGrowOverAThousandFrames) {
  // A first viewer lets the system make its own once-per-process objects (system
  // colour brushes, the button's resources); the count starts after it.
  Show(true);
  TProgressViewer* first = viewer_;
  viewer_ = nullptr;
  first->Terminate();
  ASSERT_TRUE(freed_viewers::WaitFreed(first));
  DWORD base = GdiObjectCount();
  {
    // The count must see objects come and go, or it proves nothing.
    platform::ScopedGdiObject probes[10];
    for (auto& probe : probes) probe.Reset(::CreateSolidBrush(RGB(1, 2, 3)));
    ASSERT_EQ(GdiObjectCount(), base + 10) << "the GDI object count does not see new objects";
  }
  ASSERT_EQ(GdiObjectCount(), base);

  ProgressFrameDelay = 1;
  Show(true);
  {
    std::lock_guard<std::mutex> guard(frames.lock);
    frames.changeLines = true;  // layouts and compositions too, not only frames
  }
  ASSERT_TRUE(WaitFrames(FrameCount() + 50));
  DWORD before = GdiObjectCount();
  long start = FrameCount();
  ASSERT_TRUE(WaitFrames(start + 1000, std::chrono::seconds(120)));
  DWORD after = GdiObjectCount();
  long painted = FrameCount() - start;

  TProgressViewer* viewer = viewer_;
  viewer_ = nullptr;
  viewer->Terminate();
  ASSERT_TRUE(freed_viewers::WaitFreed(viewer));
  DWORD gone = GdiObjectCount();
  std::printf("GDI objects: %lu without a viewer, %lu showing, %lu after %ld more frames, %lu once "
              "it is gone\n",
              static_cast<unsigned long>(base), static_cast<unsigned long>(before),
              static_cast<unsigned long>(after), painted, static_cast<unsigned long>(gone));
  // The thread may be recomposing while counted: a few objects either way, never
  // one per frame or per layout.
  EXPECT_LE(after, before + 5);
  EXPECT_EQ(gone, base);
}
