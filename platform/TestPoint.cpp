#include "platform/TestPoint.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace platform {

namespace {

std::string Setting(const char* name) {
  try {
    return EnvironmentVariable(name).value_or("");
  } catch (...) {
    return std::string();
  }
}

}  // namespace

void TestPoint(const char* point) noexcept {
  static const std::string stopAt = Setting("QVN_TEST_STOP_AT");
  static const std::string pauseAt = Setting("QVN_TEST_PAUSE_AT");
  static const std::string pauseDir = Setting("QVN_TEST_PAUSE_DIR");
  if (!stopAt.empty() && stopAt == point) std::_Exit(86);
  if (pauseAt.empty() || pauseAt != point || pauseDir.empty()) return;
  try {
    std::string base = pauseDir + PathSeparator() + point;
    // Which process reached the point, for a test that signals it; written before
    // the mark that says it has.
    File pid = File::Open(base + ".pid", FileOpenMode::kReadWriteCreate);
    std::string text = std::to_string(CurrentProcessId());
    pid.Write(text.data(), text.size());
    pid.Close();
    File::Open(base + ".reached", FileOpenMode::kReadWriteCreate);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!FileExists(base + ".go") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } catch (...) {
  }
}

bool TestFault(const char* point) noexcept {
  static const std::string failAt = Setting("QVN_TEST_FAIL_AT");
  return !failAt.empty() && failAt == point;
}

}  // namespace platform
