// Viewers that have freed themselves, seen through ProgressFreedHook, for tests to
// wait on instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "progress/ProgressViewer.h"

namespace freed_viewers {

struct State {
  std::mutex lock;
  std::condition_variable changed;
  std::set<const TProgressViewer*> gone;
};

inline State& Get() {
  static State state;
  return state;
}

inline void Note(TProgressViewer* viewer) {
  State& state = Get();
  std::lock_guard<std::mutex> guard(state.lock);
  state.gone.insert(viewer);
  state.changed.notify_all();
}

// Installs the hook; call before making viewers.
inline void Watch() { ProgressFreedHook.store(&Note); }

// True once `viewer` has freed itself (within ten seconds). The address is
// forgotten, so a later viewer at the same address is waited for afresh.
inline bool WaitFreed(const TProgressViewer* viewer,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
  State& state = Get();
  std::unique_lock<std::mutex> guard(state.lock);
  bool gone = state.changed.wait_for(guard, deadline, [&] { return state.gone.count(viewer) != 0; });
  state.gone.erase(viewer);
  return gone;
}

}  // namespace freed_viewers
