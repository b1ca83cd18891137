#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

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

// Every line of `files` (oldest first) is a whole writer line, each writer's numbers
// come once each and in order, and every writer wrote all of its lines.
void ExpectEveryLineOnceInOrder(const std::vector<std::string>& files, int writers, int lines,
                                int rotatedAbove) {
  std::map<std::string, int> next;  // writer "p-t" -> next sequence number
  int total = 0;
  for (const std::string& file : files) {
    std::string bytes = ReadBytes(file);
    if (file != files.back()) {
      // Each archive was rotated once, when over the limit: never empty, never twice.
      EXPECT_GT(bytes.size(), static_cast<std::size_t>(rotatedAbove + rotatedAbove / 3)) << file;
    }
    bool whole = false;
    std::vector<std::string> split = loggertest::SplitCrLf(bytes, whole);
    EXPECT_TRUE(whole) << file;
    for (const std::string& line : split) {
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
  EXPECT_EQ(total, writers * lines);
  EXPECT_EQ(next.size(), static_cast<std::size_t>(writers));
  for (const auto& [writer, count] : next) EXPECT_EQ(count, lines) << writer;
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

  ExpectEveryLineOnceInOrder(files, kProcesses * kThreads, kLinesPerThread, kMaxSize);
}

#ifndef _WIN32
// Writers that run without the cross-process lock (switched off here; a lock file that
// cannot be had comes to the same) still add each entry whole, as one append. Windows
// writers always have their named mutex.
TEST(MultiProcess, WritersWithoutTheLockLoseAndTearNothing) {
  TempDir dir;
  const std::string log = dir / "nolock.log";
  const std::string go = dir / "go";
  constexpr int kLines = 1500;
  std::vector<std::unique_ptr<platform::ChildProcess>> children;
  for (int p = 0; p < kProcesses; ++p)
    children.push_back(StartChild("writer|" + log + "|" + std::to_string(p) + "|2|" +
                                  std::to_string(kLines) + "|0|2|" + go + "|nolock"));
  loggertest::WriteBytes(go, "go");
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
  ExpectEveryLineOnceInOrder({log}, kProcesses * 2, kLines, 0);
}
#endif

// A lock held for ever by another process costs the entry (it goes to the errors
// journal), not the program.
TEST(MultiProcess, LockHeldForEverCostsOneEntryNotTheProgram) {
  TempDir dir;
  loggertest::JournalRedirect journal(dir / "journal.log");
  const std::string log = dir / "held.log";
  auto holder = StartChild("holdlock|" + log + "|" + (dir / "ready"));
  ASSERT_TRUE(loggertest::WaitFor([&] { return platform::FileExists(dir / "ready"); }));
  TQLXLogger logger(log);
  logger.NotifyWindow = 1;
  loggertest::LockWaitShortened shorter(300);
  std::atomic<bool> returned{false};
  std::thread writer([&] {
    logger.Log("while held");
    returned = true;
  });
  bool inTime = loggertest::WaitFor([&] { return returned.load(); });
  if (!inTime) holder->Kill();  // lets an unbounded wait end
  writer.join();
  ASSERT_TRUE(inTime) << "the write waited for the lock for ever";
  EXPECT_EQ(ReadBytes(log).find("while held"), std::string::npos);
  std::string text = journal.Text();
  EXPECT_NE(text.find("(Lock) в лог \"" + log + "\" строки ["), std::string::npos) << text;
  EXPECT_NE(text.find(" while held]: Log lock timeout: 300 ms <Exception>\r\n"), std::string::npos)
      << text;
  ASSERT_EQ(logger.RecentLines().size(), 1u);
  EXPECT_EQ(logger.RecentLines()[0].rfind("<Ошибка при записи в лог> ", 0), 0u);
  holder->Kill();
  holder->Wait();
  logger.Log("after the holder");
  EXPECT_NE(ReadBytes(log).find("after the holder\r\n"), std::string::npos);
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
