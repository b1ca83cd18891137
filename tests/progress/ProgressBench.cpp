// Frame rate of a progress viewer while its owner's thread is blocked, and the CPU
// time its thread uses per second of showing. Prints figures; asserts nothing.
//   progress_bench [SECONDS]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/WindowsSupport.h"
#include "progress/ProgressViewer.h"

namespace {

std::atomic<long> frameCount{0};
std::atomic<unsigned long long> threadCpu100ns{0};  // user + kernel time of the viewer thread
std::atomic<bool> freed{false};

void NoteFrame(TProgressViewer*) {
  FILETIME created, exited, kernel, user;
  if (::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) {
    auto value = [](const FILETIME& t) {
      return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    threadCpu100ns.store(value(kernel) + value(user));
  }
  ++frameCount;
}

void NoteFreed(TProgressViewer*) { freed.store(true); }

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  ProgressAppTitle = "Velmora - ZARVO";
  ProgressFrameHook.store(&NoteFrame);
  ProgressFreedHook.store(&NoteFreed);

  auto* viewer = new TProgressViewer("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", false, false);
  viewer->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, true, 0x008000, fsBold, 14, "");
  // Measure from the first painted frame on: window creation is not "showing".
  while (frameCount.load() == 0) ::Sleep(1);
  long frames0 = frameCount.load();
  unsigned long long cpu0 = threadCpu100ns.load();
  auto start = std::chrono::steady_clock::now();
  ::Sleep(static_cast<DWORD>(seconds * 1000));  // the owner blocked
  long frames = frameCount.load() - frames0;
  double cpuMs = (threadCpu100ns.load() - cpu0) / 1e4;
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  viewer->Terminate();
  while (!freed.load()) ::Sleep(1);

  std::printf("owner blocked %.2f s: %ld frames, %.1f frames per second (frame delay %d ms)\n",
              elapsed, frames, frames / elapsed, static_cast<int>(ProgressFrameDelay));
  std::printf("viewer thread CPU time: %.1f ms per second of showing\n", cpuMs / elapsed);
  return 0;
}
