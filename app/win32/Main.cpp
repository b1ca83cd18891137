// Program entry of the Windows program: the DPI option, module start-up, the main
// window and its message loop, module shut-down in reverse order.
#include "platform/win32/WindowsSupport.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/ScaleUtils.h"
#include "app/win32/UMain.h"
#include "platform/win32/WindowsSupport.h"

namespace {

// The command-line arguments after the program's own path, as UTF-8.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.push_back(platform::Narrow(argv[i], wcslen(argv[i])));
  ::LocalFree(argv);
  return args;
}

int SystemPixelsPerInch() {
  platform::WindowDc screen(nullptr);
  return screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  int pixelsPerInch = ScaleUtils::ResolutionFromArguments(Arguments(), SystemPixelsPerInch());

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  TForm1::RegisterWindowClass(instance);

  try {
    TForm1 form(instance, pixelsPerInch, TForm1::Actions{});
    form.RestoreAndShow(showCommand);
    form.Run();
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, platform::Widen(e.what()).c_str(), L"Оптимизация БД",
                  MB_OK | MB_ICONSTOP);
  }
  return 0;
}
