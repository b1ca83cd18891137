// Telling a window about something without waiting for it.
#pragma once

#include <cstdint>

namespace platform {

// A window handle carried as a number (0: none).
using WindowId = std::uintptr_t;

// Posts `message` with both parameters 0 to `window`; true when it was queued.
// Windows only: elsewhere there are no such windows and nothing is posted.
bool PostWindowMessage(WindowId window, std::uint32_t message) noexcept;

}  // namespace platform
