#include "platform/FileOps.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<CopyFaultHook> copyFaultHook{nullptr};
}

void SetCopyFaultHookForTesting(CopyFaultHook hook) noexcept { copyFaultHook.store(hook); }

CopyFaultHook CopyFaultHookForTesting() noexcept { return copyFaultHook.load(); }

}  // namespace platform
