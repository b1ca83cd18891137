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
#include "platform/Interrupt.h"
#include "logger/QLXLogger.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/JobProgress.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
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

// When Windows ends the session during a rebuild all the same, the progress window
// holds the end until the rebuild has put things right: told here, on every way out.
struct InterruptionHandledOnExit {
  ~InterruptionHandledOnExit() { platform::InterruptionHandled(); }
};

void Button1Click(TForm1& form) {
  {
    InterruptionHandledOnExit handled;
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

// "QVNOptimizeDB.exe recover [DB...]", as a run registers it for the next logon: the
// databases an ended run left shut down are brought back online before anything
// else, and only then does a box tell what was done (nothing shows when there was
// nothing to do).
int RecoverAndEnd(const std::vector<std::string>& args) {
  OpenProgramLog();
  std::vector<std::string> paths(args.begin() + 1, args.end());
  for (const std::string& known : site::KnownDatabasePaths()) paths.push_back(known);
  std::string text = RecoverInterruptedRebuilds(paths);
  CloseProgramLog();
  if (!text.empty()) {
    ::MessageBoxW(nullptr, platform::Widen(text).c_str(),
                  platform::Widen(UMain::kAppTitle).c_str(), MB_OK | MB_ICONWARNING);
  }
  return 0;
}

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
  const std::vector<std::string> args = Arguments();
  if (!args.empty() && args[0] == "recover") {
    int status = RecoverAndEnd(args);
    QLXLoggerShutdown();
    ProgressViewerShutdown();
    FBUtils::Release();
    return status;
  }

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
