#include "maintenance/ProgramLogger.h"

#include <atomic>

namespace {
std::atomic<TQLXLogger*> programLogger{nullptr};
}

TQLXLogger* ProgramLogger() noexcept { return programLogger.load(); }

void SetProgramLogger(TQLXLogger* logger) noexcept { programLogger.store(logger); }
