#include "maintenance/ProgramLogger.h"

#include <atomic>
#include <memory>

#include "logger/QLXLogger.h"
#include "maintenance/SiteFiles.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {
std::atomic<TQLXLogger*> programLogger{nullptr};
// The logger that OpenProgramLog made (tests may install one of their own instead).
std::unique_ptr<TQLXLogger> ownLogger;
}  // namespace

TQLXLogger* ProgramLogger() noexcept { return programLogger.load(); }

void SetProgramLogger(TQLXLogger* logger) noexcept { programLogger.store(logger); }

void OpenProgramLog() {
  const std::string path = site::LogFilePath();
  platform::CreateDirectories(platform::ExtractFilePath(path));
  ownLogger = std::make_unique<TQLXLogger>(path);
  SetProgramLogger(ownLogger.get());
  ownLogger->Log("", llPlain);
  ownLogger->Log("Программа запущена", llPlain);
}

void CloseProgramLog() noexcept {
  if (!ownLogger) return;
  ownLogger->Log("Выход из программы", llPlain);
  SetProgramLogger(nullptr);
  ownLogger.reset();
}
