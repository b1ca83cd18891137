// A program that ends right after starting the threads of the viewer or the deferred
// writer, for scripts/exit-stress.sh: it must exit with code 0 and print its one line,
// every time, whatever those threads are doing when main returns.
//   exit_with_threads MODE
//   viewer            a viewer terminated just before main returns (its thread still closing)
//   viewer-work       the same with a work procedure beside it
//   viewer-forgotten  a viewer never terminated (the unit's shut-down ends it)
//   writer            deferred lines, the logger module shut down before main returns
//   writer-library    the same, shut down the way a library being unloaded does
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "logger/QLXLogger.h"
#include "platform/Files.h"
#include "progress/ProgressViewer.h"

namespace {
std::atomic<long> frameCount{0};
void NoteFrame(TProgressViewer*) { ++frameCount; }
}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode.rfind("viewer", 0) == 0) {
    ProgressFrameHook.store(&NoteFrame);
    ProgressFrameDelay = 5;
    TProgressWorkProc work;
    if (mode == "viewer-work")
      work = [](TProgressViewer& viewer) {
        viewer.SetString(10, "work", taCenter, false, clDefault, kAllFontStyles, -1, "");
      };
    auto* viewer = new TProgressViewer("exit", false, true, work);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (frameCount.load() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (frameCount.load() < 2) return 3;
    if (mode != "viewer-forgotten") viewer->Terminate();
  } else if (mode == "writer" || mode == "writer-library") {
    QLXLoggerStartup();
    const std::string name = platform::TempDirectory() + "exit_with_threads.log";
    {
      TQLXLogger logger(name);
      logger.Deferred = true;
      for (int i = 0; i < 200; ++i) logger.Log("line " + std::to_string(i));
      QLXLoggerShutdown(mode == "writer-library");
    }
    platform::RemoveFile(name);
  } else {
    return 2;
  }
  std::printf("main returns\n");
  std::fflush(stdout);
  return 0;
}
