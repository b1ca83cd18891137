#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "LoggerTestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/Encoding.h"
#include "platform/NamedLock.h"
#include "platform/Process.h"
#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"
#endif
#include "support/Exceptions.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using loggertest::ReadBytes;
using loggertest::TempDir;

namespace {

TEST(Logger, MutexNames) {
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\QORD\\LogFiles\\QVNOptimizeDB.log", "c__qord_logfiles_qvnoptimizedb.log"},
      {"/opt/QORD/LogFiles/QVNOptimizeDB.log", "_opt_qord_logfiles_qvnoptimizedb.log"},
      {"a\"b*c/d:e<f>g?h\\i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"D:\\Журнал\\ЁЖИК.LOG", "d__журнал_ёжик.log"},
      {"x y.Log", "x y.log"},
  };
  for (const auto& c : cases) EXPECT_EQ(MutexNameFor(c.path), c.expected) << c.path;
}

TEST(Logger, BareNameGoesBesideTheProgram) {
  TQLXLogger logger("bare_name_test.log");
  EXPECT_EQ(logger.FileName(), platform::ExecutableDir() + "bare_name_test.log");
  TQLXLogger none("");
  EXPECT_EQ(none.FileName(), "");
  none.Log("nothing");  // a logger without a file writes nothing and does not fail
}

// A name the file system takes for the same file keeps the logger's file and lock;
// another file is another file, however a lossy conversion would have seen it.
TEST(Logger, SameFileNameAsTheFileSystemComparesIt) {
  TempDir dir;
  TQLXLogger logger(dir / "Case.log");
  logger.SetFileName(dir / "CASE.LOG");
#ifdef _WIN32
  EXPECT_EQ(logger.FileName(), dir / "Case.log");
#else
  EXPECT_EQ(logger.FileName(), dir / "CASE.LOG");
#endif
  logger.SetFileName(dir / "日志.log");
  logger.SetFileName(dir / "中文.log");  // both "??.log" in Windows-1251
  EXPECT_EQ(logger.FileName(), dir / "中文.log");
  logger.SetFileName(dir / "other.log");
  EXPECT_EQ(logger.FileName(), dir / "other.log");
  logger.SetUseMutex(false);
  EXPECT_FALSE(logger.UseMutex());
  logger.Log("without the cross-process lock");
  EXPECT_NE(ReadBytes(dir / "other.log").find("without the cross-process lock"), std::string::npos);
}

TEST(Logger, LevelsOutsideTheEnabledSetWriteAndPostNothing) {
  TempDir dir;
  TQLXLogger logger(dir / "levels.log");
  logger.NotifyWindow = 1;
  logger.EnabledLevels = (1u << llError) | (1u << llEvent);
  logger.Log("dropped 0", llPlain);
  logger.Log("dropped 8", 8);
  logger.Log("dropped 255", 255);
  logger.Log("kept 2", llError);
  logger.Log("kept 5", llEvent);
  std::string bytes = ReadBytes(dir / "levels.log");
  EXPECT_EQ(bytes.find("dropped"), std::string::npos);
  EXPECT_NE(bytes.find("kept 2"), std::string::npos);
  EXPECT_NE(bytes.find("kept 5"), std::string::npos);
  EXPECT_EQ(logger.RecentLines().size(), 2u);
  logger.Active = false;
  logger.Log("inactive", llError);
  EXPECT_EQ(ReadBytes(dir / "levels.log"), bytes);
  Log(nullptr, "null logger");  // does nothing
}

TEST(Logger, RecentLinesAreBoundedOldestFirstOut) {
  TempDir dir;
  TQLXLogger logger(dir / "recent.log");
  logger.Log("not kept: no window to notify");
  EXPECT_TRUE(logger.RecentLines().empty());
  logger.NotifyWindow = 1;
  logger.MaxRecentLines = 3;
  for (int i = 0; i < 5; ++i) logger.Log("line " + std::to_string(i));
  std::vector<std::string> recent = logger.RecentLines();
  ASSERT_EQ(recent.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(recent[i].substr(recent[i].size() - 6), "line " + std::to_string(i + 2));
}

TEST(Logger, FailedWriteGoesToTheJournalWithItsStepTrace) {
  TempDir dir;
  loggertest::JournalRedirect journal(dir / "journal.log");
  const std::string missing = dir / "no_such_dir" + std::string(1, platform::PathSeparator()) + "x.log";
  TQLXLogger logger(missing);
  logger.NotifyWindow = 1;
  logger.Log("lost entry 100%", llError);  // the failure does not reach the caller
  std::string text = journal.Text();
  const std::string head = "Ошибка при попытке записи (fmCreate) в лог \"" + missing +
                           "\" строки [";
  EXPECT_NE(text.find(head), std::string::npos) << text;
  EXPECT_NE(text.find(" [ошиб] lost entry 100%]: "), std::string::npos) << text;
  EXPECT_NE(text.find(" <EOSError>\r\n"), std::string::npos) << text;
  // One entry (the system's error text brings a line break of its own).
  EXPECT_EQ(text.find("Ошибка при попытке"), text.rfind("Ошибка при попытке"));
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  ASSERT_EQ(logger.RecentLines().size(), 1u);
  EXPECT_EQ(logger.RecentLines()[0].rfind("<Ошибка при записи в лог> ", 0), 0u);
  // The logger stays usable once the directory exists.
  ASSERT_TRUE(platform::CreateDirectories(dir / "no_such_dir"));
  logger.Log("second");
  EXPECT_NE(ReadBytes(missing).find("second\r\n"), std::string::npos);
}

TEST(Logger, OpenWithoutTimeoutPassesTheFailureOn) {
  TempDir dir;
  try {
    OpenLogFile(dir / "missing.log", platform::FileOpenMode::kReadWrite, 0);
    FAIL() << "no failure";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::FileNotFoundCode());
  }
  EXPECT_THROW(OpenLogFile(dir / "missing.log", platform::FileOpenMode::kReadWrite, -1), EOSError);
}

TEST(Logger, ThreadsOfOneProcessWriteWholeLines) {
  TempDir dir;
  TQLXLogger logger(dir / "threads.log");
  logger.ShowLevelName = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) logger.Log("T" + std::to_string(t) + " " + std::to_string(i));
    });
  for (auto& t : threads) t.join();
  bool whole = false;
  auto lines = loggertest::SplitCrLf(ReadBytes(dir / "threads.log"), whole);
  EXPECT_TRUE(whole);
  ASSERT_EQ(lines.size(), 800u);
  int next[4] = {0, 0, 0, 0};
  for (const std::string& line : lines) {
    int t = 0, i = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + 24, "T%d %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < 4);
    EXPECT_EQ(i, next[t]++) << line;
  }
}

#ifndef _WIN32
std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// The lock file lies beside the log, where only those who may write the log can make
// it. One that cannot serve (here a planted link) is not followed; the logger writes
// without it and tells the errors journal so, once.
TEST(Logger, LockFileBesideTheLogAndAMissingLockToldOnce) {
  TempDir dir;
  loggertest::JournalRedirect journal(dir / "journal.log");
  {
    TQLXLogger logger(dir / "a.log");
    logger.Log("locked");
    struct stat st;
    ASSERT_EQ(::lstat(LockFileFor(dir / "a.log").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
  EXPECT_EQ(journal.Text(), "");
  loggertest::WriteBytes(dir / "victim", "victim");
  ASSERT_EQ(::symlink((dir / "victim").c_str(), LockFileFor(dir / "b.log").c_str()), 0);
  TQLXLogger logger(dir / "b.log");
  logger.Log("one");
  logger.Log("two");
  std::string bytes = ReadBytes(dir / "b.log");
  EXPECT_NE(bytes.find("one\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("two\r\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "victim"), "victim");
  std::string text = journal.Text();
  EXPECT_EQ(Occurrences(text, "без межпроцессной блокировки"), 1u) << text;
  EXPECT_NE(text.find(LockFileFor(dir / "b.log")), std::string::npos) << text;
}

// The errors journal lies in the user's own folder: $XDG_RUNTIME_DIR, else $TMPDIR,
// else the user's cache folder.
TEST(ErrorJournal, LivesInTheUsersOwnFolder) {
  TempDir dir;
  const std::string run = dir / "run", tmp = dir / "tmp", home = dir / "home";
  for (const std::string& d : {run, tmp, home}) ASSERT_TRUE(platform::CreateDirectories(d));
  struct Case {
    std::string xdg, tmpdir, expected;
  } cases[] = {
      {run, tmp, run + "/"},
      {"", tmp + "/", tmp + "/"},
      {"", "", home + "/.cache/"},
  };
  for (const Case& c : cases) {
    auto child = platform::ChildProcess::Start(
        loggertest::SelfPath(), {},
        {{loggertest::kChildVariable, "journal|" + (dir / "name.txt")},
         {"XDG_RUNTIME_DIR", c.xdg},
         {"TMPDIR", c.tmpdir},
         {"HOME", home}});
    ASSERT_EQ(child->Wait(), 0) << c.expected;
    EXPECT_EQ(ReadBytes(dir / "name.txt"), c.expected + "QLXLoggerErrorsWriter.log");
  }
}

TEST(ErrorJournal, FollowsNoLinkAndIsOwnerOnly) {
  TempDir dir;
  loggertest::WriteBytes(dir / "victim", "victim");
  ASSERT_EQ(::symlink((dir / "victim").c_str(), (dir / "journal.log").c_str()), 0);
  loggertest::JournalRedirect journal(dir / "journal.log");
  TQLXLogger failing(dir / "no_such_dir/x.log");
  failing.Log("lost through a link");
  EXPECT_EQ(ReadBytes(dir / "victim"), "victim");
  ASSERT_EQ(::unlink((dir / "journal.log").c_str()), 0);
  failing.Log("lost and told");
  EXPECT_NE(journal.Text().find("lost and told"), std::string::npos);
  struct stat st;
  ASSERT_EQ(::stat((dir / "journal.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Logger, ChildProcessesInheritNoHandleOfTheLogger) {
  TempDir dir;
  TQLXLogger logger(dir / "inherit.log");
  logger.Log("the lock is open now");
  auto child = platform::ChildProcess::Start(
      loggertest::SelfPath(), {}, {{loggertest::kChildVariable, "fds|" + (dir / "fds.txt")}});
  ASSERT_EQ(child->Wait(), 0);
  std::string fds = ReadBytes(dir / "fds.txt");
  ASSERT_NE(fds, "");
  EXPECT_EQ(fds.find(MutexNameFor(logger.FileName())), std::string::npos) << fds;
  EXPECT_EQ(fds.find("inherit.log"), std::string::npos) << fds;
}
#endif

#ifdef _WIN32
// Another process keeps the log open without sharing for `holdMs`.
struct FileHeld {
  std::unique_ptr<platform::ChildProcess> child;
  FileHeld(const std::string& path, int holdMs, const std::string& ready) {
    child = platform::ChildProcess::Start(
        loggertest::SelfPath(), {},
        {{loggertest::kChildVariable,
          "holdfile|" + path + "|" + std::to_string(holdMs) + "|" + ready}});
    EXPECT_TRUE(loggertest::WaitFor([&] { return platform::FileExists(ready); }));
  }
};

TEST(LoggerSharing, ShortHoldIsWaitedOut) {
  TempDir dir;
  loggertest::JournalRedirect journal(dir / "journal.log");
  TQLXLogger logger(dir / "held.log");
  logger.Log("before");
  FileHeld held(dir / "held.log", 150, dir / "ready");
  logger.Log("during a short hold");
  EXPECT_EQ(held.child->Wait(), 0);
  EXPECT_NE(ReadBytes(dir / "held.log").find("during a short hold\r\n"), std::string::npos);
  EXPECT_EQ(journal.Text(), "");
}

TEST(LoggerSharing, LongHoldEndsInOneJournalEntry) {
  TempDir dir;
  loggertest::JournalRedirect journal(dir / "journal.log");
  TQLXLogger logger(dir / "held.log");
  logger.Log("before");
  FileHeld held(dir / "held.log", 500, dir / "ready");
  logger.Log("during a long hold");
  EXPECT_EQ(held.child->Wait(), 0);
  EXPECT_EQ(ReadBytes(dir / "held.log").find("during a long hold"), std::string::npos);
  std::string text = journal.Text();
  bool whole = false;
  EXPECT_EQ(loggertest::SplitCrLf(ReadBytes(dir / "journal.log"), whole).size(), 1u) << text;
  EXPECT_NE(text.find("(fmOpenReadWrite) в лог \"" + (dir / "held.log") + "\""), std::string::npos) << text;
  EXPECT_NE(text.find(" during a long hold]: Log file open timeout: 200 ms (" +
                      platform::SystemErrorText(32) + ") <Exception>\r\n"),
            std::string::npos)
      << text;
  logger.Log("after");
  EXPECT_NE(ReadBytes(dir / "held.log").find("after\r\n"), std::string::npos);
}
#endif

#ifdef _WIN32
// A peer that opens the log's mutex the plain way (CreateMutex, all rights) gets ours.
TEST(Logger, PeersOpenTheSameMutex) {
  platform::NamedLockError error;
  auto lock = platform::NamedLock::Open("QVNPeerTest-" + std::to_string(platform::CurrentProcessId()),
                                        "", error);
  ASSERT_TRUE(lock) << error.step;
  HANDLE peer = ::CreateMutexW(nullptr, FALSE, platform::Widen(lock->Path()).c_str());
  DWORD code = ::GetLastError();
  ASSERT_NE(peer, nullptr) << code;
  EXPECT_EQ(code, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(lock->Acquire(0));
  DWORD peerWait = 0;
  std::thread([&] { peerWait = ::WaitForSingleObject(peer, 0); }).join();
  EXPECT_EQ(peerWait, static_cast<DWORD>(WAIT_TIMEOUT)) << "one lock, not two";
  lock->Release();
  ::CloseHandle(peer);
}
#endif

// A lock let go without Release (the rebuild's lock on every way out) is free for
// others at once, though the thread that held it lives on (a window's main thread).
TEST(Logger, ALockDestroyedWhileHeldIsFreeForOthers) {
  const std::string name = "QVNDroppedLock-" + std::to_string(platform::CurrentProcessId());
  const std::string file = std::filesystem::temp_directory_path().string() + "/" + name + ".lock";
  platform::NamedLockError error;
  auto held = platform::NamedLock::Open(name, file, error);
  auto other = platform::NamedLock::Open(name, file, error);  // another program's, waiting
  ASSERT_TRUE(held && other) << error.step;
  ASSERT_TRUE(held->Acquire(0));
  held.reset();
  bool taken = false;
  std::thread([&] { taken = other->Acquire(0); }).join();
  EXPECT_TRUE(taken);
  other.reset();
  std::filesystem::remove(file);
}

}  // namespace
