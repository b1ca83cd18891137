#include "platform/WindowMessage.h"

namespace platform {

bool PostWindowMessage(WindowId, std::uint32_t) noexcept { return false; }

}  // namespace platform
