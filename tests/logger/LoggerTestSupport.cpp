#include "LoggerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/NamedLock.h"
#include "platform/Process.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace loggertest {

namespace {

void RemoveTree(const std::string& dir) {
  for (const std::string& name : platform::ListDirectory(dir, "")) {
    std::string path = dir + name;
    if (platform::DirectoryExists(path)) RemoveTree(path + platform::PathSeparator());
    else platform::RemoveFile(path);
  }
  platform::RemoveEmptyDirectory(dir.substr(0, dir.size() - 1));
}

}  // namespace

TempDir::TempDir() {
  // Process ids come round again (quickly under Wine): the clock keeps names apart,
  // and a directory that exists already is never reused.
  static std::atomic<int> counter{0};
  for (;;) {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = platform::TempDirectory() + "qvnlog_" + std::to_string(platform::CurrentProcessId()) +
            "_" + std::to_string(ticks % 1000000007) + "_" + std::to_string(counter++) +
            platform::PathSeparator();
    std::string bare = path_.substr(0, path_.size() - 1);
    if (platform::DirectoryExists(bare)) continue;
    platform::CreateDirectories(bare);
    break;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string ReadBytes(const std::string& path) {
  platform::ErrorCode code = 0;
  auto file = platform::File::TryOpen(path, platform::FileOpenMode::kRead,
                                      platform::FileShare::kDenyNone, code);
  if (!file) return std::string();
  std::string bytes;
  char buffer[65536];
  while (std::size_t n = file->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  platform::RemoveFile(path);
  platform::File file = platform::File::Open(path, platform::FileOpenMode::kCreateExclusive);
  file.Write(bytes.data(), bytes.size());
}

std::vector<std::string> SplitCrLf(const std::string& bytes, bool& whole) {
  std::vector<std::string> lines;
  whole = true;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      whole = false;
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

JournalRedirect::JournalRedirect(const std::string& path) : path_(path) {
  previous_ = ErrorJournal->FileName();
  ErrorJournal->SetFileName(path);
}

JournalRedirect::~JournalRedirect() { ErrorJournal->SetFileName(previous_); }

std::string JournalRedirect::Text() const { return platform::Cp1251ToUtf8(ReadBytes(path_)); }

std::string SelfPath() { return platform::ExecutablePath(); }

TDateTime SampleTime() { return EncodeDateTime(2026, 12, 7, 9, 49, 22, 123); }

namespace {

std::vector<std::string> SplitBar(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = s.find('|', start);
    parts.push_back(s.substr(start, bar - start));
    if (bar == std::string::npos) return parts;
    start = bar + 1;
  }
}

// writer|log|writer id|threads|lines per thread|MaxSize|ArchiveCount|go file[|nolock]
int RunWriter(const std::vector<std::string>& a) {
  if (a.size() < 8) return 2;
  TQLXLogger logger(a[1]);
  if (a.size() > 8 && a[8] == "nolock") logger.SetUseMutex(false);
  logger.MaxSize = std::atoll(a[5].c_str());
  logger.ArchiveCount = std::atoi(a[6].c_str());
  logger.ShowLevelName = false;
  int threads = std::atoi(a[3].c_str());
  int lines = std::atoi(a[4].c_str());
  if (!WaitFor([&] { return platform::FileExists(a[7]); }, std::chrono::seconds(60))) return 3;
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int i = 0; i < lines; ++i)
        logger.Log("W" + a[2] + "-" + std::to_string(t) + " " + std::to_string(i) +
                   " payload-payload-payload");
    });
  for (std::thread& t : pool) t.join();
  return 0;
}

// holdlock|log|ready file: takes the log's cross-process lock and never lets go.
int RunLockHolder(const std::vector<std::string>& a) {
  if (a.size() < 3) return 2;
  platform::NamedLockError error;
  auto lock = platform::NamedLock::Open(MutexNameFor(a[1]), LockFileFor(a[1]), error);
  if (!lock || !lock->Acquire(60000)) return 3;
  WriteBytes(a[2], "held");
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// holdfile|path|ms|ready file: keeps the file open without sharing for a while.
int RunFileHolder(const std::vector<std::string>& a) {
  if (a.size() < 4) return 2;
  platform::ErrorCode code = 0;
  auto file = platform::File::TryOpen(a[1], platform::FileOpenMode::kReadWrite,
                                      platform::FileShare::kExclusive, code);
  if (!file) return 3;
  WriteBytes(a[3], "held");
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(a[2].c_str())));
  return 0;
}

// fds|output file: the targets of this process's open descriptors, one a line (POSIX).
int ListDescriptors(const std::vector<std::string>& a) {
  if (a.size() < 2) return 2;
  std::string list;
#ifndef _WIN32
  for (const std::string& fd : platform::ListDirectory("/proc/self/fd/", "")) {
    char target[4096];
    ssize_t n = ::readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
    if (n > 0) list += std::string(target, static_cast<std::size_t>(n)) + "\n";
  }
#endif
  WriteBytes(a[1], list);
  return 0;
}

// journal|output file: where the errors journal of this process lies.
int WriteJournalName(const std::vector<std::string>& a) {
  if (a.size() < 2) return 2;
  WriteBytes(a[1], ErrorJournal->FileName());
  return 0;
}

// The child modes run from the test environment's set-up, when the whole program
// is initialised, and end the process there.
int RunChild(const std::string& request) {
  std::vector<std::string> args = SplitBar(request);
  if (args[0] == "writer") return RunWriter(args);
  if (args[0] == "holdlock") return RunLockHolder(args);
  if (args[0] == "holdfile") return RunFileHolder(args);
  if (args[0] == "fds") return ListDescriptors(args);
  if (args[0] == "journal") return WriteJournalName(args);
  return 2;
}

class LoggerModule : public ::testing::Environment {
 public:
  void SetUp() override {
    QLXLoggerStartup();
    const char* request = std::getenv(kChildVariable);
    if (request != nullptr && *request != '\0') {
      int rc = RunChild(request);
      QLXLoggerShutdown();
      std::fflush(stdout);
      std::_Exit(rc);
    }
  }
  void TearDown() override { QLXLoggerShutdown(); }
};

::testing::Environment* const loggerModule =
    ::testing::AddGlobalTestEnvironment(new LoggerModule);

}  // namespace

}  // namespace loggertest
