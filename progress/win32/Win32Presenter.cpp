// The progress window: a borderless, always-on-top tool window painted only by
// copying a finished off-screen frame, on the viewer thread that owns it.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win32/QueryMessages.h"
#include "platform/Interrupt.h"
#include "platform/win32/WindowsSupport.h"
#include "progress/ProgressGeometry.h"
#include "progress/ProgressViewer.h"

namespace {

using platform::ScopedGdiObject;
using platform::ScopedMemoryDc;
using platform::SelectGuard;
using platform::WindowDc;

constexpr wchar_t kClassName[] = L"ProgressViewerFormClass";
constexpr wchar_t kWindowName[] = L"ProgressWnd";
constexpr DWORD kWindowExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;  // 0x88
constexpr DWORD kWindowStyle = WS_POPUP | WS_VISIBLE;               // 0x90000000
constexpr UINT PVM_PAINTFRAME = WM_USER + 1;

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

COLORREF ToColorRef(TColor color) {
  if (IsSystemColor(color)) return ::GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFF);
}

// Window creation may load libraries that change the x87 control word (precision,
// exception masks); the viewer's arithmetic must not notice.
class FpuControlWordGuard {
 public:
  FpuControlWordGuard() noexcept {
#if defined(__i386__) || defined(__x86_64__)
    asm volatile("fnstcw %0" : "=m"(word_));
#endif
  }
  ~FpuControlWordGuard() {
#if defined(__i386__) || defined(__x86_64__)
    asm volatile("fldcw %0" : : "m"(word_));
#endif
  }
  FpuControlWordGuard(const FpuControlWordGuard&) = delete;
  FpuControlWordGuard& operator=(const FpuControlWordGuard&) = delete;

 private:
  unsigned short word_ = 0;
};

// An off-screen bitmap with its memory DC. The bitmap is selected into the DC for
// the surface's whole life and the DC's own one is put back before either goes.
class Surface {
 public:
  Surface() : dc_(::CreateCompatibleDC(nullptr)) {
    if (dc_) ::SetBkMode(dc_.Get(), TRANSPARENT);
  }
  ~Surface() { Release(); }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  HDC Dc() const noexcept { return dc_.Get(); }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }

  // A new image of this size, unless it has it already; 0 in either means none.
  void SetSize(int width, int height) {
    if (width == width_ && height == height_ && (bitmap_ || width <= 0 || height <= 0)) return;
    Release();
    width_ = width;
    height_ = height;
    if (!dc_ || width <= 0 || height <= 0) return;
    WindowDc screen(nullptr);
    bitmap_.Reset(::CreateCompatibleBitmap(screen.Get(), width, height));
    if (!bitmap_) return;
    original_ = ::SelectObject(dc_.Get(), bitmap_.Get());
  }

  // Gives the image up; the DC keeps working on its own 1 x 1 bitmap.
  void Release() noexcept {
    if (original_) ::SelectObject(dc_.Get(), original_);
    original_ = nullptr;
    bitmap_.Reset();
    width_ = 0;
    height_ = 0;
  }

 private:
  ScopedMemoryDc dc_;
  ScopedGdiObject bitmap_;
  HGDIOBJ original_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

class Win32Presenter final : public TProgressPresenter {
 public:
  Win32Presenter() : pixelsPerInch_(ProgressPixelsPerInch) {
    if (pixelsPerInch_ <= 0) {
      WindowDc screen(nullptr);
      pixelsPerInch_ = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    }
  }

  int PixelsPerInch() override { return pixelsPerInch_; }

  TRect WorkArea() override {
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return TRect{area.left, area.top, area.right, area.bottom};
  }

  TWindowHandles CreateProgressWindow(TProgressViewer&, const TWindowPlace& place,
                                      bool buttonVisible) override {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    {
      FpuControlWordGuard fpu;
      window_ = ::CreateWindowExW(kWindowExStyle, kClassName, kWindowName, kWindowStyle,
                                  place.Left, place.Top, place.Width, place.Height, nullptr,
                                  nullptr, instance, nullptr);
    }
    if (!window_) return TWindowHandles{};
    ::ShowWindow(window_, SW_SHOW);

    TRect rect = progress::ButtonRect(place.Width, place.Height);
    {
      FpuControlWordGuard fpu;
      button_ = ::CreateWindowExW(0, L"BUTTON", platform::Widen(ProgressCancelCaption).c_str(),
                                  WS_CHILD, rect.Left, rect.Top, rect.Width(), rect.Height(),
                                  window_, nullptr, instance, nullptr);
    }
    if (button_ && buttonVisible) {
      ::ShowWindow(button_, SW_SHOW);
      ::UpdateWindow(button_);
    }
    return TWindowHandles{reinterpret_cast<TWindowHandle>(window_),
                          reinterpret_cast<TWindowHandle>(button_)};
  }

  void CloseProgressWindow() override {
    if (!window_) return;
    ::ShowWindow(window_, SW_HIDE);
    // Destroyed here rather than left to the thread's end: the handle is invalid
    // for everybody as soon as the viewer lets it go.
    ::DestroyWindow(window_);
    window_ = nullptr;
    button_ = nullptr;
  }

  void PumpMessages() override {
    if (!window_) return;
    MSG message;
    while (::PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  void RefreshButton() override {
    if (!button_) return;
    ::InvalidateRect(button_, nullptr, FALSE);
    PumpMessages();
  }

  void MoveWindow(const TWindowPlace& place) override {
    if (!window_) return;
    ::SetWindowPos(window_, HWND_TOPMOST, place.Left, place.Top, place.Width, place.Height,
                   SWP_SHOWWINDOW);
  }

  void MoveButton(const TRect& rect, bool visible) override {
    if (!button_) return;
    ::SetWindowPos(button_, HWND_TOP, rect.Left, rect.Top, rect.Width(), rect.Height(),
                   SWP_HIDEWINDOW);
    if (visible) {
      ::ShowWindow(button_, SW_SHOW);
      ::UpdateWindow(button_);
    }
  }

  void ShowButton(bool visible) override {
    if (button_) ::ShowWindow(button_, visible ? SW_SHOW : SW_HIDE);
  }

  TLineExtent MeasureLine(const TStringInfo& line, int width) override {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    HDC dc = text_.Dc();
    SelectGuard font(dc, Font(line.FontName, line.FontSize, line.FontStyle));
    std::wstring text = platform::Widen(line.Text);
    RECT rect{0, 0, width, 0};
    UINT flags = DT_CALCRECT | (line.WordWrap ? DT_WORDBREAK : 0);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
    return TLineExtent{rect.right, rect.bottom};
  }

  void DrawTextBlock(const std::vector<TStringInfo>& lines, int width, int height,
                     TColor background) override {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    drawnLines_.clear();
    ++drawnBlocks_;
    text_.SetSize(width, height);
    if (text_.Height() <= 0) return;
    HDC dc = text_.Dc();
    FillSolid(dc, RECT{0, 0, width, height}, ToColorRef(background));
    int top = 0;
    for (const TStringInfo& line : lines) {
      SelectGuard font(dc, Font(line.FontName, line.FontSize, line.FontStyle));
      ::SetTextColor(dc, ToColorRef(line.Color));
      std::wstring text = platform::Widen(line.Text);
      RECT rect{0, top, width, top + line.Height};
      UINT flags = AlignmentFlag(line.Alignment) | (line.WordWrap ? DT_WORDBREAK : 0);
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
      drawnLines_.push_back(std::move(text));
      top += line.Height;
    }
  }

  std::size_t DrawnBlocks() {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    return drawnBlocks_;
  }

  // One character of the text block last drawn: line `line` from the top (0 is the
  // title), character `index`; 0 past a line's end or below the last line.
  wchar_t DrawnCharacter(std::size_t line, std::size_t index) {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    if (line >= drawnLines_.size() || index >= drawnLines_[line].size()) return 0;
    return drawnLines_[line][index];
  }

  void ComposeBackground(int width, int height) override {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    frame_.Release();
    background_.Release();
    frame_.SetSize(width, height);
    // Button face with a one-pixel black outline: the window's only border.
    OutlinedRectangle(frame_.Dc(), RECT{0, 0, width, height}, ToColorRef(clBtnFace));
    background_.SetSize(width, height);
    ::BitBlt(background_.Dc(), 0, 0, width, height, frame_.Dc(), 0, 0, SRCCOPY);
    if (text_.Height() > 0)
      ::BitBlt(background_.Dc(), progress::kTextLeft, progress::kTextTop, text_.Width(),
               text_.Height(), text_.Dc(), 0, 0, SRCCOPY);
  }

  void PaintFrame(TProgressViewer* viewer, const TFrame& frame) override {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    // The frame goes to the screen even when drawing part of it failed.
    struct Show {
      HWND window;
      TProgressViewer* viewer;
      ~Show() {
        if (window) ::SendMessageW(window, PVM_PAINTFRAME, reinterpret_cast<WPARAM>(viewer), 0);
      }
    } show{window_, viewer};

    frame_.SetSize(background_.Width(), background_.Height());
    ::BitBlt(frame_.Dc(), 0, 0, frame_.Width(), frame_.Height(), background_.Dc(), 0, 0, SRCCOPY);

    int barWidth = frame.Bar.Width();
    int barHeight = frame.Bar.Height();
    bar_.SetSize(barWidth, barHeight);
    HDC bar = bar_.Dc();
    OutlinedRectangle(bar, RECT{0, 0, barWidth, barHeight}, RGB(255, 255, 255));
    OutlinedRectangle(bar, RECT{frame.Fill.Left, frame.Fill.Top, frame.Fill.Right, frame.Fill.Bottom},
                      ToColorRef(frame.BarColor));
    if (frame.PercentText) {
      SelectGuard font(bar, Font(ProgressDefaultFontName, ProgressDefaultFontSize, fsBold));
      std::wstring text = platform::Widen(*frame.PercentText);
      ::SetTextColor(bar, RGB(0, 0, 0));
      int x = progress::PercentTextLeft(barWidth, TextWidth(bar, text));
      ::TextOutW(bar, x, 4, text.c_str(), static_cast<int>(text.size()));
    }
    if (frame.ElapsedText) {
      HDC dc = frame_.Dc();
      SelectGuard font(dc, Font(ProgressDefaultFontName, ProgressDefaultFontSize, 0));
      std::wstring text = platform::Widen(*frame.ElapsedText);
      ::SetTextColor(dc, RGB(0, 0, 0));
      int x = progress::ElapsedTextLeft(frame.Width, TextWidth(dc, text), frame.ButtonVisible);
      ::TextOutW(dc, x, frame.ElapsedTop, text.c_str(), static_cast<int>(text.size()));
    }
    ::BitBlt(frame_.Dc(), frame.Bar.Left, frame.Bar.Top, barWidth, barHeight, bar, 0, 0, SRCCOPY);
  }

  // The pause, during which what other threads and programs send the window (a
  // setting broadcast, a query of its lines) is answered at once rather than at the
  // next frame: they wait for the answer.
  void WaitForNextFrame(std::chrono::milliseconds delay) override {
    auto deadline = std::chrono::steady_clock::now() + delay;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      DWORD woke = ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()),
                                                 QS_SENDMESSAGE, 0);
      if (woke != WAIT_OBJECT_0) return;
      MSG message;
      ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }

  // Copies the finished frame onto the window (PVM_PAINTFRAME).
  void ShowFrame(HWND window) {
    std::lock_guard<std::recursive_mutex> lock(surfaceLock_);
    PAINTSTRUCT paint;
    ::BeginPaint(window, &paint);
    {
      WindowDc dc(window);
      if (dc.Get())
        ::BitBlt(dc.Get(), 0, 0, frame_.Width(), frame_.Height(), frame_.Dc(), 0, 0, SRCCOPY);
    }
    ::EndPaint(window, &paint);
  }

 private:
  static UINT AlignmentFlag(std::uint8_t alignment) {
    switch (progress::AlignmentOf(alignment)) {
      case progress::TTextAlign::Left:
        return DT_LEFT;
      case progress::TTextAlign::Right:
        return DT_RIGHT;
      default:
        return DT_CENTER;
    }
  }

  static int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size{0, 0};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }

  // The DC's own brush, recoloured: no brush object is made per drawing.
  static void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    ::SetDCBrushColor(dc, color);
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
  }

  // Filled with `color`, outlined by the default one-pixel black pen.
  static void OutlinedRectangle(HDC dc, const RECT& rect, COLORREF color) {
    SelectGuard brush(dc, ::GetStockObject(DC_BRUSH));
    SelectGuard pen(dc, ::GetStockObject(BLACK_PEN));
    ::SetDCBrushColor(dc, color);
    ::Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
  }

  // Fonts are made once per face, size and style and kept for the viewer's life.
  HFONT Font(const std::string& name, int size, TFontStyles style) {
    auto key = std::make_tuple(name, size, style);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return static_cast<HFONT>(found->second.Get());
    int height = -::MulDiv(size, pixelsPerInch_, 72);
    std::wstring face = platform::Widen(name).substr(0, LF_FACESIZE - 1);
    HFONT font = ::CreateFontW(height, 0, 0, 0, (style & fsBold) ? FW_BOLD : FW_NORMAL,
                               (style & fsItalic) != 0, (style & fsUnderline) != 0,
                               (style & fsStrikeOut) != 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               face.c_str());
    fonts_.emplace(key, ScopedGdiObject(font));
    return font;
  }

  int pixelsPerInch_;
  HWND window_ = nullptr;
  HWND button_ = nullptr;
  std::recursive_mutex surfaceLock_;  // the four surfaces
  // Declared before the surfaces: a font may still be selected into a surface's DC
  // when the presenter goes, so the surfaces (and their DCs) go first.
  std::map<std::tuple<std::string, int, TFontStyles>, ScopedGdiObject> fonts_;
  Surface frame_;
  Surface background_;
  Surface text_;
  Surface bar_;
  std::vector<std::wstring> drawnLines_;  // what the text block shows, top to bottom
  std::size_t drawnBlocks_ = 0;
};

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // What the window shows is drawn, not held in controls: the drawn-text query
  // (platform/win32/QueryMessages.h) reads its lines from outside the process.
  static const UINT drawnText = ::RegisterWindowMessageW(platform::kProgressDrawnTextMessage);
  static const UINT drawnCount = ::RegisterWindowMessageW(platform::kProgressDrawnCountMessage);
  if ((message == drawnText && drawnText != 0) || (message == drawnCount && drawnCount != 0)) {
    TProgressViewer* owner =
        TProgressViewer::FindViewerByWindow(reinterpret_cast<TWindowHandle>(window));
    if (owner == nullptr) return 0;
    auto& presenter = static_cast<Win32Presenter&>(owner->Presenter());
    if (message == drawnCount) return static_cast<LRESULT>(presenter.DrawnBlocks());
    return presenter.DrawnCharacter(static_cast<std::size_t>(wParam),
                                    static_cast<std::size_t>(lParam));
  }
  switch (message) {
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      return 0;  // neither the user nor the system's close command closes it
    case WM_KEYDOWN: {
      TProgressViewer* viewer =
          TProgressViewer::FindViewerByWindow(reinterpret_cast<TWindowHandle>(window));
      if (wParam == VK_ESCAPE && viewer) viewer->RequestCancel();
      return 0;
    }
    case WM_COMMAND: {
      TProgressViewer* viewer =
          TProgressViewer::FindViewerByWindow(reinterpret_cast<TWindowHandle>(window));
      if (lParam != 0 && viewer) viewer->RequestCancel();  // the cancel button
      return 0;
    }
    case WM_QUERYENDSESSION:
      // The window shows only while a long operation runs, which must not be cut
      // off by a log-off or shut-down. Answered at once: this thread never blocks.
      return FALSE;
    case WM_ENDSESSION:
      // The session ends all the same (a forced shut-down): the operation is asked
      // to stop the way a failure does, and the process is let go once it has put
      // things right, or when the system's patience is near its end.
      if (wParam) {
        platform::RequestInterruption("WM_ENDSESSION");
        platform::WaitUntilInterruptionHandled(15000);
      }
      return 0;
    case PVM_PAINTFRAME: {
      // Any process can send this message number (a broadcast, say): wParam counts
      // only when it is the viewer that owns this window.
      TProgressViewer* owner =
          TProgressViewer::FindViewerByWindow(reinterpret_cast<TWindowHandle>(window));
      if (wParam == 0 || owner == nullptr || reinterpret_cast<TProgressViewer*>(wParam) != owner)
        break;
      // Only this module's presenter makes windows of this class.
      static_cast<Win32Presenter&>(owner->Presenter()).ShowFrame(window);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool RegisterViewerClass() {
  WNDCLASSW windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &ProgressWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kClassName;
  if (::RegisterClassW(&windowClass) != 0) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::unique_ptr<TProgressPresenter> MakeDefaultPresenter() {
  return std::make_unique<Win32Presenter>();
}
