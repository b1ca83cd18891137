// Shows the rebuild's progress viewer for a while, for screenshots:
//   progress_demo SECONDS [READY_FILE [PERCENT]]
// READY_FILE (a Windows path, or "-") is created once the window has painted its
// frames. With PERCENT the viewer runs in percent mode at that value and shows its
// cancel button. The environment variable QVN_PROGRESS_PPI makes the window for that
// resolution (ProgressPixelsPerInch) instead of the screen's.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/WindowsSupport.h"
#include "progress/ProgressViewer.h"

namespace {
std::atomic<long> frameCount{0};
std::atomic<bool> freed{false};
void NoteFrame(TProgressViewer*) { ++frameCount; }
void NoteFreed(TProgressViewer*) { freed.store(true); }
}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  ProgressFrameHook.store(&NoteFrame);
  ProgressFreedHook.store(&NoteFreed);
  ProgressAppTitle = "Velmora - ZARVO";
  if (const char* ppi = std::getenv("QVN_PROGRESS_PPI")) ProgressPixelsPerInch = std::atoi(ppi);

  bool percentMode = argc > 3;
  auto* viewer = new TProgressViewer("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", percentMode, percentMode);
  if (percentMode) viewer->SetPosition(std::atof(argv[3]));
  viewer->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, true, 0x008000, fsBold, 14, "");
  while (frameCount.load() < 10) ::Sleep(5);
  if (argc > 2 && std::string(argv[2]) != "-") {
    if (FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);
  }
  ::Sleep(static_cast<DWORD>(seconds * 1000));
  viewer->Terminate();
  while (!freed.load()) ::Sleep(1);
  return 0;
}
