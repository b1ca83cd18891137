#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "LoggerTestSupport.h"
#include "logger/LazyWriter.h"
#include "platform/Encoding.h"
#include "platform/NamedLock.h"

using loggertest::ReadBytes;
using loggertest::TempDir;

namespace {

std::vector<std::string> Texts(const std::string& path) {
  bool whole = false;
  std::vector<std::string> lines = loggertest::SplitCrLf(ReadBytes(path), whole);
  EXPECT_TRUE(whole) << path;
  for (std::string& line : lines)
    line = platform::Cp1251ToUtf8(line.size() > 24 ? line.substr(24) : line);
  return lines;
}

std::vector<std::string> Numbered(const std::string& tag, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(tag + " " + std::to_string(i));
  return out;
}

TEST(Deferred, TwoLoggersInterleavedKeepCallOrder) {
  TempDir dir;
  std::vector<std::string> a, b;
  {
    TQLXLogger first(dir / "a.log"), second(dir / "b.log");
    first.Deferred = second.Deferred = true;
    for (int i = 0; i < 500; ++i) {
      first.Log("a " + std::to_string(i));
      second.Log("b " + std::to_string(i));
    }
  }  // each destructor waits until its lines are written
  EXPECT_EQ(Texts(dir / "a.log"), Numbered("a", 500));
  EXPECT_EQ(Texts(dir / "b.log"), Numbered("b", 500));
}

TEST(Deferred, ManyThreadsEachInOrder) {
  TempDir dir;
  {
    TQLXLogger logger(dir / "t.log");
    logger.Deferred = true;
    logger.ShowLevelName = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < 1000; ++i) logger.Log("T" + std::to_string(t) + " " + std::to_string(i));
      });
    for (auto& t : threads) t.join();
  }
  std::vector<std::string> lines = Texts(dir / "t.log");
  ASSERT_EQ(lines.size(), 4000u);
  int next[4] = {0, 0, 0, 0};
  for (const std::string& line : lines) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "T%d %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < 4);
    EXPECT_EQ(i, next[t]++);
  }
}

TEST(Deferred, MoreThanOneMebibyteInOnePassMakesSeveralBatches) {
  TempDir dir;
  TQLXLogger blocker(dir / "blocker.log"), big(dir / "big.log");
  blocker.Deferred = big.Deferred = true;
  big.MaxSize = 0;
  big.NotifyWindow = 1;  // each written batch becomes one recent item
  // Keep the writer busy on the blocker's file while the big logger's lines queue up.
  platform::NamedLockError error;
  auto lock = platform::NamedLock::Open(MutexNameFor(blocker.FileName()),
                                       LockFileFor(blocker.FileName()), error);
  ASSERT_TRUE(lock);
  ASSERT_TRUE(lock->Acquire(1000));
  blocker.Log("first");
  // The writer has taken the message (the queue is empty) but not written it (still pending).
  ASSERT_TRUE(loggertest::WaitFor([&] {
    TLazyWriteThread* writer = LazyWriter.load();
    return writer != nullptr && writer->QueueLength() == 0 && blocker.PendingCount() == 1;
  }));
  const std::string payload(90, 'p');
  for (int i = 0; i < 15000; ++i) big.Log(payload + " " + std::to_string(i));
  lock->Release();
  // Destruction order does not matter: wait for the big logger's lines.
  ASSERT_TRUE(loggertest::WaitFor([&] { return big.PendingCount() == 0; }));
  std::vector<std::string> batches = big.RecentLines();
  std::size_t total = 0;
  for (const std::string& b : batches) total += b.size();
  std::string bytes = ReadBytes(dir / "big.log");
  EXPECT_EQ(total, bytes.size());
  ASSERT_EQ(batches.size(), 2u);  // one pass: a full batch and the rest
  EXPECT_GT(batches[0].size(), 1048576u);
  EXPECT_LE(batches[0].size(), 1048576u + payload.size() + 32);
  for (const std::string& b : batches) EXPECT_EQ(b.substr(b.size() - 2), "\r\n");
  std::vector<std::string> lines = Texts(dir / "big.log");
  ASSERT_EQ(lines.size(), 15000u);
  EXPECT_EQ(lines.back(), payload + " 14999");
}

TEST(Deferred, LoggerFreedRightAfterLoggingHasEverythingOnDisk) {
  TempDir dir;
  for (int round = 0; round < 5; ++round) {
    std::string name = dir / ("freed" + std::to_string(round) + ".log");
    {
      TQLXLogger logger(name);
      logger.Deferred = true;
      for (int i = 0; i < 300; ++i) logger.Log("m " + std::to_string(i));
    }
    EXPECT_EQ(Texts(name), Numbered("m", 300));
  }
}

TEST(Deferred, ModuleShutdownWritesEveryQueuedMessage) {
  for (bool inLibrary : {false, true}) {
    TempDir dir;
    auto logger = std::make_unique<TQLXLogger>(dir / "shutdown.log");
    logger->Deferred = true;
    for (int i = 0; i < 2000; ++i) logger->Log("s " + std::to_string(i));
    QLXLoggerShutdown(inLibrary);
    EXPECT_EQ(LazyWriter.load(), nullptr) << inLibrary;
    EXPECT_EQ(logger->PendingCount(), 0) << inLibrary;
    EXPECT_EQ(Texts(dir / "shutdown.log"), Numbered("s", 2000)) << inLibrary;
    // After shutdown a deferred logger writes at once.
    logger->Log("direct");
    EXPECT_EQ(Texts(dir / "shutdown.log").back(), "direct") << inLibrary;
    logger.reset();
    QLXLoggerStartup();
    EXPECT_FALSE(DeferredDisabled.load());
  }
}

// Threads go on logging while the module stops: every message reaches the file once,
// in each thread's order (the sanitizer build watches the hand-over for races).
TEST(Deferred, LoggingWhileTheModuleStops) {
  for (int round = 0; round < 3; ++round) {
    TempDir dir;
    {
      TQLXLogger logger(dir / "race.log");
      logger.Deferred = true;
      logger.ShowLevelName = false;
      std::atomic<int> logged{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
          for (int i = 0; i < 1500; ++i) {
            logger.Log("T" + std::to_string(t) + " " + std::to_string(i));
            ++logged;
          }
        });
      EXPECT_TRUE(loggertest::WaitFor([&] { return logged.load() > 1000; }));
      QLXLoggerShutdown();
      for (auto& t : threads) t.join();
    }
    std::vector<std::string> lines = Texts(dir / "race.log");
    EXPECT_EQ(lines.size(), 6000u);
    int next[4] = {0, 0, 0, 0};
    std::string wrong;  // the first line out of order, if any
    for (const std::string& line : lines) {
      int t = -1, i = -1;
      if (std::sscanf(line.c_str(), "T%d %d", &t, &i) != 2 || t < 0 || t > 3 || i != next[t]++) {
        wrong = line;
        break;
      }
    }
    EXPECT_EQ(wrong, "") << "round " << round;
    QLXLoggerStartup();
  }
}

// While the writer cannot write, the queue holds at most kMaxPendingBytes and the
// producer waits; nothing is lost.
TEST(Deferred, PendingBytesAreBoundedAndTheProducerWaits) {
  TempDir dir;
  TQLXLogger blocker(dir / "blocker.log"), big(dir / "big.log");
  blocker.Deferred = big.Deferred = true;
  big.MaxSize = 0;
  constexpr int kMessages = 20000;
  const std::string payload(1000, 'p');
  std::atomic<bool> held{false}, produced{false};
  std::atomic<std::size_t> highest{0};
  // The watcher holds the blocker's lock (so the writer stalls on it) until the queue
  // is full, and notes the most bytes it ever saw pending.
  std::thread watcher([&] {
    platform::NamedLockError error;
    auto lock = platform::NamedLock::Open(MutexNameFor(blocker.FileName()),
                                         LockFileFor(blocker.FileName()), error);
    held = lock && lock->Acquire(1000);
    bool released = !held;
    while (!produced || !released) {
      std::size_t bytes = PendingBytes();
      highest = std::max(highest.load(), bytes);
      if (!released && (bytes + 4 * payload.size() > TLazyWriteThread::kMaxPendingBytes || produced)) {
        lock->Release();
        released = true;
      }
    }
  });
  ASSERT_TRUE(loggertest::WaitFor([&] { return held.load(); }));
  blocker.Log("first");
  for (int i = 0; i < kMessages; ++i) big.Log(payload + " " + std::to_string(i));
  produced = true;
  watcher.join();
  ASSERT_TRUE(loggertest::WaitFor([&] { return big.PendingCount() == 0; }));
  EXPECT_GT(highest.load(), TLazyWriteThread::kMaxPendingBytes / 2);
  EXPECT_LE(highest.load(), TLazyWriteThread::kMaxPendingBytes);
  std::vector<std::string> lines = Texts(dir / "big.log");
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMessages));
  EXPECT_EQ(lines.back(), payload + " " + std::to_string(kMessages - 1));
}

TEST(Deferred, DisabledLevelsAreNotQueued) {
  TempDir dir;
  {
    TQLXLogger logger(dir / "lv.log");
    logger.Deferred = true;
    logger.EnabledLevels = 1u << llError;
    logger.Log("no", llPlain);
    logger.Log("no", 9);
    logger.Log("yes", llError);
  }
  EXPECT_EQ(Texts(dir / "lv.log"), std::vector<std::string>{"[ошиб] yes"});
}

}  // namespace
