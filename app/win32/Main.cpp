// Program entry of the Windows program: the DPI option, module start-up, the main
// window and its message loop, module shut-down in reverse order.
#include "platform/win32/WindowsSupport.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/ScaleUtils.h"
#include "app/UMainModel.h"
#include "app/win32/ShutdownBlock.h"
#include "app/win32/UMain.h"
#include "fbclient/FBUtils.h"
#include "platform/DynamicLibrary.h"
#include "logger/QLXLogger.h"
#include "maintenance/JobProgress.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/Statistics.h"
#include "maintenance/Workflow.h"
#include "progress/ProgressViewer.h"

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

// What the rebuild's jobs have done so far; the progress window shows it under the
// stage line.
TJobProgress& RebuildProgress() {
  static TJobProgress progress;
  return progress;
}

std::vector<std::string> RebuildProgressRows() {
  return TJobProgress::Describe(RebuildProgress().State());
}

void FormCreate(TForm1&) {
  ProgressAppTitle = UMain::kProgressTitle;
  OpenProgramLog();
}

void FormDestroy(TForm1&) { CloseProgramLog(); }

void Button1Click(TForm1& form) {
  {
    // Log-off and shut-down wait for the rebuild, on every way out of it.
    ShutdownBlock held(form.Handle(), UMain::kRebuildRunningReason);
    TJobProgressFeed feed(RebuildProgress());
    OptimizeDatabase(form.FilenameText());
  }
  // Only when nothing failed, and after the progress viewer has been terminated.
  form.ShowMessage(kOptimizeSuccess, UMain::kAppTitle, MB_OK);
}

void btnShowStatClick(TForm1& form) {
  std::string result = RequestStatistics(form.FilenameText());
  form.ShowMessage(result, kStatisticsCaption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Before any library is loaded: a fbclient.dll planted in the current folder would
  // otherwise receive the server's password.
  platform::RemoveCurrentFolderFromLibrarySearch();
  // The main window does not answer while a rebuild runs (the progress window does).
  // Windows must not swap it for a "not responding" ghost whose close button offers
  // to end the program mid-rebuild.
  ::DisableProcessWindowsGhosting();
  int pixelsPerInch = ScaleUtils::ResolutionFromArguments(Arguments(), SystemPixelsPerInch());

  // Module start-up. Without the utility library the program ends here, with its
  // message and exit code 0, before any window exists or anything is logged.
  FBUtils::Bind(&FBUtils::RefuseStartWithMessageBox);
  RegisterViewerClass();
  ProgressStatusSource = &RebuildProgressRows;
  QLXLoggerStartup();

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  TForm1::RegisterWindowClass(instance);

  try {
    TForm1 form(instance, pixelsPerInch,
                TForm1::Actions{&FormCreate, &FormDestroy, &Button1Click, &btnShowStatClick});
    form.RestoreAndShow(showCommand);
    form.Run();
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, platform::Widen(e.what()).c_str(),
                  platform::Widen(UMain::kAppTitle).c_str(), MB_OK | MB_ICONSTOP);
  }
  CloseProgramLog();  // already closed by the window, unless its creation failed

  // Module shut-down, the reverse of the start. No thread of ours outlives it.
  QLXLoggerShutdown();
  ProgressViewerShutdown();
  FBUtils::Release();
  return 0;
}
