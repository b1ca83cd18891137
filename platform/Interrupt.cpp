#include "platform/Interrupt.h"

#include <atomic>
#include <mutex>

namespace platform {

namespace {

std::atomic<bool> requested{false};
std::mutex reasonMutex;
std::string reasonText;

}  // namespace

bool InterruptRequested() noexcept { return requested.load(); }

std::string InterruptReason() {
  std::lock_guard<std::mutex> lock(reasonMutex);
  return reasonText;
}

void RequestInterruption(const char* reason) noexcept {
  try {
    std::lock_guard<std::mutex> lock(reasonMutex);
    if (reasonText.empty()) reasonText = reason;  // the first one counts
  } catch (...) {
  }
  requested.store(true);
}

}  // namespace platform
