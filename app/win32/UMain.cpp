#include "app/win32/UMain.h"  // first: brings <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/ScaleUtils.h"
#include "app/UMainModel.h"
#include "app/win32/ShutdownBlock.h"
#include "maintenance/DatabaseShutdown.h"
#include "platform/win32/QueryMessages.h"
#include "support/Exceptions.h"

using platform::Narrow;
using platform::Widen;

namespace {

const wchar_t kClassName[] = L"TForm1";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
// The browse button's width inside the path field, at 96 pixels per inch.
constexpr int kBrowseWidth = 21;
// Room kept between a label's text and the client area's right edge, at 96 ppi.
constexpr int kRightMargin = 8;

std::wstring WindowTextOf(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

}  // namespace

void TForm1::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TForm1::WindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);
}

TForm1::TForm1(HINSTANCE instance, int pixelsPerInch, Actions actions)
    : instance_(instance), pixelsPerInch_(pixelsPerInch), actions_(std::move(actions)) {
  windowFont_.Reset(MakeFont(13, false));
  font16_.Reset(MakeFont(16, false));
  font13_.Reset(MakeFont(13, false));
  font19Bold_.Reset(MakeFont(19, true));

  RECT frame{0, 0, S(UMain::kClientWidth), S(UMain::kClientHeight)};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  window_ = ::CreateWindowExW(kFormExStyle, kClassName, Widen(UMain::kFormCaption).c_str(),
                              kFormStyle, left, top, width, height, nullptr, nullptr, instance_,
                              this);
  if (!window_) RaiseLastOSError();
  try {
    CreateControls();
    if (actions_.onCreate) actions_.onCreate(*this);
  } catch (...) {
    // No destructor runs for a form that failed to construct, and the error box's
    // message loop would hand the window's messages to it. Unhooked first, so that
    // destroying the window runs none of its handlers.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
    window_ = nullptr;
    throw;
  }
}

TForm1::~TForm1() {
  if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
}

int TForm1::S(int designPixels) const { return ScaleUtils::Scale(designPixels, pixelsPerInch_); }

HFONT TForm1::MakeFont(int height, bool bold) {
  LOGFONTW font{};
  font.lfHeight = -S(height);  // a character height, not a cell height
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  wcscpy(font.lfFaceName, L"Tahoma");
  return ::CreateFontIndirectW(&font);
}

TForm1::TextSize TForm1::MeasureText(HWND control, HFONT font, const char* text) {
  std::wstring wide = Widen(text);
  const UINT flags = DT_NOPREFIX | DT_EXPANDTABS;
  TextSize size{};
  platform::WindowDc reference(control);
  {
    platform::SelectGuard select(reference.Get(), font);
    RECT box{0, 0, 0, 0};
    ::DrawTextW(reference.Get(), wide.c_str(), static_cast<int>(wide.size()), &box,
                flags | DT_CALCRECT);
    size.box = SIZE{box.right - box.left, box.bottom - box.top};
  }
  size.ink = size.box.cx;
  // The ink: the text drawn black on white, with room beyond the box, and the
  // rightmost column that is not white.
  const int width = size.box.cx * 2 + 16;
  const int height = size.box.cy + 4;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  platform::ScopedGdiObject bitmap(
      ::CreateDIBSection(reference.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  platform::ScopedMemoryDc dc(::CreateCompatibleDC(reference.Get()));
  if (!bitmap || !dc || !bits) return size;
  auto* pixels = static_cast<std::uint32_t*>(bits);
  std::fill(pixels, pixels + static_cast<std::size_t>(width) * height, 0x00FFFFFFu);
  {
    platform::SelectGuard selectBitmap(dc.Get(), bitmap.Get());
    platform::SelectGuard selectFont(dc.Get(), font);
    ::SetTextColor(dc.Get(), RGB(0, 0, 0));
    ::SetBkMode(dc.Get(), TRANSPARENT);
    RECT area{0, 0, width, height};
    ::DrawTextW(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &area, flags);
    ::GdiFlush();
  }
  size.ink = 0;
  for (int x = width - 1; x >= 0 && size.ink == 0; --x) {
    for (int y = 0; y < height; ++y) {
      if ((pixels[static_cast<std::size_t>(y) * width + x] & 0x00FFFFFFu) != 0x00FFFFFFu) {
        size.ink = x + 1;
        break;
      }
    }
  }
  return size;
}

HWND TForm1::CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                           DWORD exStyle, int id, int left, int top, int width, int height,
                           HFONT font) {
  HWND control = ::CreateWindowExW(exStyle, className, Widen(text).c_str(),
                                   style | WS_CHILD | WS_VISIBLE, S(left), S(top), S(width),
                                   S(height), window_, reinterpret_cast<HMENU>(INT_PTR(id)),
                                   instance_, nullptr);
  if (!control) RaiseLastOSError();
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void TForm1::CreateControls() {
  using namespace UMain;
  // Static texts size themselves to their text (the table's sizes are what Tahoma
  // gives); they never wrap, lines break only at line breaks.
  auto label = [&](const ControlLayout& l, const char* text, HFONT font) {
    HWND control = CreateControl(L"STATIC", text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, l.id,
                                 l.left, l.top, l.width, l.height, font);
    TextSize size = MeasureText(control, font, text);
    // Where the font runs wider than the one the window was laid out with (another
    // machine's Tahoma, its hinting at 120 or 144 ppi), its letters are narrowed
    // until the text fits: the same face and height, nothing cut off at the edge.
    int room = S(kClientWidth) - S(l.left) - S(kRightMargin);
    if (size.ink > room) {
      LOGFONTW narrowed{};
      ::GetObjectW(font, sizeof narrowed, &narrowed);
      TEXTMETRICW metrics{};
      {
        platform::WindowDc dc(control);
        platform::SelectGuard select(dc.Get(), font);
        ::GetTextMetricsW(dc.Get(), &metrics);
      }
      // The widest letters that fit; lfWidth is the average letter's width in whole
      // pixels, so a step is coarse.
      for (narrowed.lfWidth = metrics.tmAveCharWidth - 1; narrowed.lfWidth > 0;
           --narrowed.lfWidth) {
        platform::ScopedGdiObject candidate(::CreateFontIndirectW(&narrowed));
        if (!candidate) break;
        TextSize fitted = MeasureText(control, static_cast<HFONT>(candidate.Get()), text);
        if (fitted.ink <= room) {
          font = static_cast<HFONT>(candidate.Get());
          size = fitted;
          labelFonts_.push_back(std::move(candidate));
          ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
          break;
        }
      }
    }
    int width = std::min(std::max<int>(size.box.cx, size.ink), std::max(room, size.ink));
    ::SetWindowPos(control, nullptr, 0, 0, width, size.box.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
  label(kLabel3, kLabel3Text, static_cast<HFONT>(font16_.Get()));
  label(kLabel1, kLabel1Text, static_cast<HFONT>(font13_.Get()));
  label(kLabel2, kLabel2Text, static_cast<HFONT>(font13_.Get()));
  label(kLabel4, kLabel4Text, static_cast<HFONT>(font16_.Get()));

  // Created in tab order: the list, the path field, the optimize button, statistics.
  listBox_ = CreateControl(WC_LISTBOXW, "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
                           WS_TABSTOP, WS_EX_CLIENTEDGE, kListBox1.id, kListBox1.left,
                           kListBox1.top, kListBox1.width, kListBox1.height,
                           static_cast<HFONT>(font16_.Get()));
  for (const KnownDatabase& db : kKnownDatabases) {
    ::SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(db.itemText).c_str()));
  }

  edit_ = CreateControl(WC_EDITW, kInitialPath, ES_AUTOHSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS,
                        WS_EX_CLIENTEDGE, kFilenameEdit1.id, kFilenameEdit1.left,
                        kFilenameEdit1.top, kFilenameEdit1.width, kFilenameEdit1.height,
                        static_cast<HFONT>(windowFont_.Get()));
  // The browse button sits over the field's right end, inside its border, above it in
  // the z-order (the field clips it out); the text stops before it.
  RECT inner;
  ::GetClientRect(edit_, &inner);
  ::MapWindowPoints(edit_, window_, reinterpret_cast<POINT*>(&inner), 2);
  int browseWidth = S(kBrowseWidth);
  HWND browse = ::CreateWindowExW(0, WC_BUTTONW, L"...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  inner.right - browseWidth, inner.top, browseWidth,
                                  inner.bottom - inner.top, window_,
                                  reinterpret_cast<HMENU>(INT_PTR(kBrowseButtonId)), instance_,
                                  nullptr);
  ::SendMessageW(browse, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.Get()), FALSE);
  ::SetWindowPos(browse, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SendMessageW(edit_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, browseWidth + 2));

  CreateControl(WC_BUTTONW, kButton1Text, BS_PUSHBUTTON | WS_TABSTOP, 0, kButton1.id,
                kButton1.left, kButton1.top, kButton1.width, kButton1.height,
                static_cast<HFONT>(font19Bold_.Get()));
  CreateControl(WC_BUTTONW, kBtnShowStatText, BS_PUSHBUTTON | WS_TABSTOP, 0, kBtnShowStat.id,
                kBtnShowStat.left, kBtnShowStat.top, kBtnShowStat.width, kBtnShowStat.height,
                static_cast<HFONT>(windowFont_.Get()));
}

std::string TForm1::FilenameText() const { return Narrow(WindowTextOf(edit_)); }

void TForm1::SetFilenameText(const std::string& text) {
  ::SetWindowTextW(edit_, Widen(text).c_str());
}

void TForm1::RestoreAndShow(int showCommand) {
  platform::ScopedRegKey key;
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Widen(UMain::kRegistryKey).c_str(), 0, KEY_READ, &raw) ==
      ERROR_SUCCESS) {
    key.Reset(raw);
    DWORD type = 0;
    DWORD size = 0;
    std::wstring value = Widen(UMain::kRegistryValue);
    if (::RegQueryValueExW(key.Get(), value.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
      DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      if (::RegQueryValueExW(key.Get(), value.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &bytes) == ERROR_SUCCESS) {
        SetFilenameText(Narrow(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
      }
    }
  }
  FormShow();
  ::ShowWindow(window_, showCommand);
  ::UpdateWindow(window_);
  ::SetFocus(edit_);
  RecoverInterruptedRebuildsAtStart();
}

void TForm1::RecoverInterruptedRebuildsAtStart() {
  // A rebuild that was ended while its database was shut down left a note beside
  // it; the database goes back online before the operator does anything else.
  std::vector<std::string> paths;
  for (const UMain::KnownDatabase& db : UMain::kKnownDatabases) paths.push_back(db.path);
  paths.push_back(FilenameText());
  std::string text = RecoverInterruptedRebuilds(paths);
  if (!text.empty()) ShowMessage(text, UMain::kAppTitle, MB_OK | MB_ICONWARNING);
}

void TForm1::StorePath() {
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(UMain::kRegistryKey).c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return;
  }
  platform::ScopedRegKey key(raw);
  std::wstring text = WindowTextOf(edit_);
  ::RegSetValueExW(key.Get(), Widen(UMain::kRegistryValue).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

int TForm1::Run() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (PressFocusedButton(msg)) continue;
    if (window_ && ::IsDialogMessageW(window_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

bool TForm1::PressFocusedButton(const MSG& msg) {
  // The dialog manager presses only a default button on Enter, and this window has
  // none. A held key's repeats are not presses.
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || (msg.lParam & (1L << 30)) ||
      !window_ || ::GetParent(msg.hwnd) != window_) {
    return false;
  }
  LRESULT code = ::SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, 0);
  if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return false;
  ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(msg.hwnd), BN_CLICKED),
                 reinterpret_cast<LPARAM>(msg.hwnd));
  return true;
}

int TForm1::ShowMessage(const std::string& text, const std::string& caption, UINT flags) const {
  // The progress window, on its own thread, held the foreground; when it went, the
  // system passed the activation to this window by a message that waits in this
  // thread's queue. Taken here, before the box exists: taken inside the box's own
  // loop it would activate the window the box has just disabled and lift it above
  // its box. Only sent messages and such events run here; posted ones and input wait.
  MSG pending;
  ::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE);
  // The owner first, then the box owned by it, above it and with the keyboard. The
  // foreground is ours to give while the program is the foreground process.
  if (window_ && ::IsWindowVisible(window_)) ::SetForegroundWindow(window_);
  return ::MessageBoxW(window_, Widen(text).c_str(), Widen(caption).c_str(),
                       flags | MB_SETFOREGROUND);
}

void TForm1::ShowError(const std::string& message) const {
  ShowMessage(message, UMain::kAppTitle, MB_OK | MB_ICONSTOP);
}

void TForm1::FormShow() {
  int index = UMain::SelectionForPath(FilenameText());
  ::SendMessageW(listBox_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TForm1::ListBox1Click() {
  int index = static_cast<int>(::SendMessageW(listBox_, LB_GETCURSEL, 0, 0));
  SetFilenameText(UMain::PathForSelection(index == LB_ERR ? -1 : index));
}

void TForm1::Guarded(const std::function<void(TForm1&)>& action) {
  if (!action) return;
  try {
    action(*this);
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void TForm1::Button1Click() { Guarded(actions_.optimize); }

void TForm1::btnShowStatClick() { Guarded(actions_.statistics); }

void TForm1::BrowseClick() {
  std::wstring filter = Widen(UMain::kFilterText) + L'\0' + L"*.FDB" + L'\0' +
                        Widen(UMain::kFilterAllText) + L'\0' + L"*.*" + L'\0' + L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
              OFN_EXPLORER;
  if (::GetOpenFileNameW(&ofn)) SetFilenameText(Narrow(file.data(), wcslen(file.data())));
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TForm1* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  } else {
    self = reinterpret_cast<TForm1*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->Dispatch(message, wParam, lParam);
}

// Answers the font queries (platform/win32/QueryMessages.h) for a control of the window.
LRESULT DescribeFont(HWND window, bool metrics, WPARAM controlId) {
  HWND control = ::GetDlgItem(window, static_cast<int>(controlId));
  auto font = control ? reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0))
                      : nullptr;
  LOGFONTW lf{};
  if (!font || ::GetObjectW(font, sizeof lf, &lf) != sizeof lf) return 0;
  if (metrics) {
    return MAKELONG(static_cast<WORD>(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight),
                    static_cast<WORD>(lf.lfWeight));
  }
  return ::GlobalAddAtomW(lf.lfFaceName);
}

LRESULT TForm1::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  static const UINT fontMetrics = ::RegisterWindowMessageW(platform::kFontMetricsMessage);
  static const UINT fontFace = ::RegisterWindowMessageW(platform::kFontFaceMessage);
  if (message == fontMetrics || message == fontFace)
    return DescribeFont(window, message == fontMetrics, wParam);
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      bool green = id == UMain::kLabel3.id || id == UMain::kLabel4.id;
      bool blue = id == UMain::kLabel1.id || id == UMain::kLabel2.id;
      ::SetTextColor(dc, green ? green_ : blue ? blue_ : ::GetSysColor(COLOR_WINDOWTEXT));
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      if (id == UMain::kListBox1.id && code == LBN_SELCHANGE) ListBox1Click();
      if (id == UMain::kButton1.id && code == BN_CLICKED) Button1Click();
      if (id == UMain::kBtnShowStat.id && code == BN_CLICKED) btnShowStatClick();
      if (id == UMain::kBrowseButtonId && code == BN_CLICKED) BrowseClick();
      return 0;
    }
    case WM_ACTIVATE:
      // Keep the focused control across deactivation, as a dialog does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        focusBeforeDeactivation_ = ::GetFocus();
      } else if (focusBeforeDeactivation_ && ::IsChild(window_, focusBeforeDeactivation_)) {
        ::SetFocus(focusBeforeDeactivation_);
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      // A rebuild running: the session waits (the reason is registered meanwhile).
      if (ShutdownBlock::IsHeld(window)) return FALSE;
      break;
    case WM_CLOSE:
      StorePath();
      ::DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      if (actions_.onDestroy) actions_.onDestroy(*this);
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}
