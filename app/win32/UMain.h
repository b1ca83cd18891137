// The main window of the Windows program: the list of known databases, the path
// field with its browse button, and the two buttons.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/WindowsSupport.h"

class TForm1 {
 public:
  // What the buttons run; the program wires them to the rebuild and statistics work.
  struct Actions {
    std::function<void(TForm1&)> onCreate;    // after the window exists (FormCreate)
    std::function<void(TForm1&)> onDestroy;   // when it is destroyed (FormDestroy)
    std::function<void(TForm1&)> optimize;    // Button1Click
    std::function<void(TForm1&)> statistics;  // btnShowStatClick
  };

  // Creates the hidden window laid out for `pixelsPerInch`; runs FormCreate.
  TForm1(HINSTANCE instance, int pixelsPerInch, Actions actions);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  static void RegisterWindowClass(HINSTANCE instance);

  HWND Handle() const { return window_; }
  // The path field's text.
  std::string FilenameText() const;
  void SetFilenameText(const std::string& text);

  // The stored path, if any, replaces the field's text; then the window is shown,
  // centred, with the matching list item selected and the focus in the path field.
  void RestoreAndShow(int showCommand);
  // Runs the message loop until the window is gone.
  int Run();

  // A message box owned by the window and brought to the front: after a long
  // rebuild the program may no longer be in front, and its result must not be missed.
  int ShowMessage(const std::string& text, const std::string& caption, UINT flags) const;
  // The default error display: the message in a stop-icon box captioned with the
  // application title.
  void ShowError(const std::string& message) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  // Enter on a focused push button presses it, as Space does.
  bool PressFocusedButton(const MSG& msg);
  HWND CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                     DWORD exStyle, int id, int left, int top, int width, int height,
                     HFONT font);
  int S(int designPixels) const;
  // The box DrawText gives `text` in `font` on `control`, and how far its ink
  // really reaches: some font engines measure a text wider or narrower than they
  // draw it (Wine's Tahoma does both, by up to 6 %), and what shows is what counts.
  struct TextSize {
    SIZE box;
    int ink;
  };
  static TextSize MeasureText(HWND control, HFONT font, const char* text);
  HFONT MakeFont(int height, bool bold);

  void FormShow();
  void RecoverInterruptedRebuildsAtStart();
  void ListBox1Click();
  void Button1Click();
  void btnShowStatClick();
  void BrowseClick();
  void StorePath();
  // Runs a button's work; a failure goes to the default error display.
  void Guarded(const std::function<void(TForm1&)>& action);

  HINSTANCE instance_;
  int pixelsPerInch_;
  Actions actions_;
  HWND window_ = nullptr;
  HWND listBox_ = nullptr;
  HWND edit_ = nullptr;
  HWND focusBeforeDeactivation_ = nullptr;
  platform::ScopedGdiObject windowFont_, font16_, font13_, font19Bold_;
  std::vector<platform::ScopedGdiObject> labelFonts_;  // labels narrowed to fit
  COLORREF green_ = RGB(0, 128, 0), blue_ = RGB(0, 0, 255);
};
