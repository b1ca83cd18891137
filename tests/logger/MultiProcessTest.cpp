#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "LoggerTestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"

using loggertest::ReadBytes;
using loggertest::TempDir;

namespace {

constexpr int kProcesses = 8;
constexpr int kThreads = 4;
constexpr int kLinesPerThread = 150;
constexpr int kMaxSize = 1024;  // rotation above 1365 bytes: hundreds of rotations

std::unique_ptr<platform::ChildProcess> StartChild(const std::string& request) {
  return platform::ChildProcess::Start(loggertest::SelfPath(), {},
                                       {{loggertest::kChildVariable, request}});
}

TEST(MultiProcess, WritersOfManyProcessesLoseAndTearNothing) {
  TempDir dir;
  const std::string log = dir / "mp.log";
  const std::string go = dir / "go";
  std::vector<std::unique_ptr<platform::ChildProcess>> children;
  for (int p = 0; p < kProcesses; ++p)
    children.push_back(StartChild("writer|" + log + "|" + std::to_string(p) + "|" +
                                  std::to_string(kThreads) + "|" + std::to_string(kLinesPerThread) +
                                  "|" + std::to_string(kMaxSize) + "|1000000|" + go));
  loggertest::WriteBytes(go, "go");  // all start together
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);

  // Archives from the oldest (highest number) to the newest, then the log.
  TQLXLogger reader(log);
  std::vector<std::string> archives;
  reader.CollectArchives(archives);
  ASSERT_GT(archives.size(), 100u);
  for (std::size_t i = 0; i < archives.size(); ++i)
    ASSERT_EQ(archives[i], reader.ArchiveName(static_cast<long long>(i))) << "numbers have a gap";
  std::vector<std::string> files(archives.rbegin(), archives.rend());
  files.push_back(log);

  std::map<std::string, int> next;  // writer "p-t" -> next sequence number
  int total = 0;
  for (const std::string& file : files) {
    std::string bytes = ReadBytes(file);
    if (file != log) {
      // Each archive was rotated once, when over the limit: never empty, never twice.
      EXPECT_GT(bytes.size(), static_cast<std::size_t>(kMaxSize + kMaxSize / 3)) << file;
    }
    bool whole = false;
    std::vector<std::string> lines = loggertest::SplitCrLf(bytes, whole);
    EXPECT_TRUE(whole) << file;
    for (const std::string& line : lines) {
      char writer[32] = {0};
      int seq = -1;
      ASSERT_GT(line.size(), 24u) << file;
      ASSERT_EQ(std::sscanf(line.c_str() + 24, "W%31s %d payload-payload-payload", writer, &seq), 2)
          << file << ": " << line;
      EXPECT_EQ(line.substr(line.size() - 24), " payload-payload-payload") << line;
      EXPECT_EQ(seq, next[writer]++) << "writer " << writer << " in " << file;
      ++total;
    }
  }
  EXPECT_EQ(total, kProcesses * kThreads * kLinesPerThread);
  EXPECT_EQ(next.size(), static_cast<std::size_t>(kProcesses * kThreads));
  for (const auto& [writer, count] : next) EXPECT_EQ(count, kLinesPerThread) << writer;
}

TEST(MultiProcess, KilledLockHolderDoesNotStopTheOthers) {
  TempDir dir;
  const std::string log = dir / "killed.log";
  auto holder = StartChild("holdlock|" + log + "|" + (dir / "ready"));
  ASSERT_TRUE(loggertest::WaitFor([&] { return platform::FileExists(dir / "ready"); }));
  holder->Kill();
  holder->Wait();
  // A writer in another process must get the lock now, the dead holder's lock
  // released (or abandoned) by the system.
  auto writer = StartChild("writer|" + log + "|9|2|10|0|2|" + (dir / "ready"));
  bool done = loggertest::WaitFor([&] {
    bool whole = false;
    return loggertest::SplitCrLf(ReadBytes(log), whole).size() == 20 && whole;
  });
  EXPECT_TRUE(done) << "the writer is still waiting for the dead holder's lock";
  if (!done) writer->Kill();
  EXPECT_EQ(writer->Wait(), 0);
  // And this process too.
  TQLXLogger logger(log);
  logger.Log("parent goes on");
  EXPECT_NE(ReadBytes(log).find("parent goes on\r\n"), std::string::npos);
}

}  // namespace
