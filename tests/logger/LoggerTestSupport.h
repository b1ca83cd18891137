// Helpers of the logger tests: a private directory per test, whole-file reads,
// waiting with a deadline, and the test program's own child modes.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "logger/QLXLogger.h"

namespace loggertest {

// A fresh directory under the temporary directory, removed with its files.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The directory with its closing separator.
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// Splits file bytes into lines at CR LF; `whole` is false when any line lacks it.
std::vector<std::string> SplitCrLf(const std::string& bytes, bool& whole);

// Polls `condition` until it holds or `timeout` passes; true when it held.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Sends the errors journal to a file of the test and puts it back afterwards.
class JournalRedirect {
 public:
  explicit JournalRedirect(const std::string& path);
  ~JournalRedirect();
  std::string Text() const;  // the journal's content, as UTF-8

 private:
  std::string path_;
  std::string previous_;
};

// Shortens the longest wait of a write for its locks while it lives.
class LockWaitShortened {
 public:
  explicit LockWaitShortened(int ms) : previous_(LockWaitMs.exchange(ms)) {}
  ~LockWaitShortened() { LockWaitMs = previous_; }

 private:
  int previous_;
};

// The test program started as a child: the variable names the mode and its
// arguments, separated by '|'.
constexpr const char* kChildVariable = "QVN_LOGGER_CHILD";
std::string SelfPath();

// A fixed moment of the examples: 07.12.2026 09:49:22.123.
TDateTime SampleTime();

}  // namespace loggertest
