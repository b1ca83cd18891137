// The logger: appends levelled, time-stamped lines to a text file (Windows-1251,
// CR LF), safely across threads and processes, with size and age limits, numbered
// archives, an errors journal and an optional deferred writer thread.
//
// Every write is one whole cycle: per-logger lock, cross-process lock of the
// file's name, open, append, limits, close, unlock. No handle stays open between
// entries, so other programs may read, rename or delete the file meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logger/LogFormat.h"
#include "platform/Files.h"
#include "platform/WindowMessage.h"

namespace platform {
class NamedLock;
}

class TQLXLogger;

// Module settings, fixed at build time.
constexpr int FileOpenTimeout = 200;           // ms
// The longest a write waits for its locks (in-process and cross-process together);
// an entry that cannot have them in time goes to the errors journal.
constexpr int LockWaitTimeout = 10000;         // ms
constexpr double AgeCheckInterval = 60;        // s
constexpr bool DefaultUseMutex = true;
constexpr bool DefaultDeferred = false;
constexpr bool RaiseMutexErrors = false;
constexpr std::uint32_t DefaultNotifyMessage = 0x400 + 321;

// The wait for the locks that writes use: LockWaitTimeout, shortened only by tests.
extern std::atomic<int> LockWaitMs;

// The journal of failed writes of every other logger of the process (in the user's
// own temporary directory, owner-only, cut in place at its size limit). Made at
// module start-up.
extern TQLXLogger* ErrorJournal;

// One message on its way to the deferred writer.
struct TLogMessageRec {
  TQLXLogger* Logger = nullptr;  // not owned
  TDateTime Time = 0;
  TLogLevel Level = 0;
  std::string Text;
  std::uint32_t ThreadId = 0;
};

class TQLXLogger {
 public:
  // An empty name gives a logger without a file, which writes nothing.
  explicit TQLXLogger(const std::string& fileName);
  // Waits until the deferred writer has written this logger's queued messages.
  virtual ~TQLXLogger();
  TQLXLogger(const TQLXLogger&) = delete;
  TQLXLogger& operator=(const TQLXLogger&) = delete;

  // Writes (or queues, in deferred mode) one entry. Levels above 7 and inactive
  // loggers write nothing. A failure goes to the errors journal, never to the caller.
  // `time` 0 means now; the immediate path always stamps the time of writing.
  void Log(const std::string& text, TLogLevel level = llPlain, TDateTime time = 0);
  // Formats the text (see FormatText) and logs it. A bad format raises Exception
  // "Error args for string [<format>]: <reason>" and logs nothing.
  void LogFmt(const std::string& format, std::initializer_list<LogArg> args,
              TLogLevel level = llPlain);

  std::string FileName() const;
  // A name without a directory is put beside the executable. Re-creates the
  // cross-process lock when the name changes.
  void SetFileName(const std::string& name);
  bool UseMutex() const;
  void SetUseMutex(bool value);

  // The line of one message without its line end.
  std::string FormatLine(const std::string& text, TLogLevel level, std::uint32_t threadId,
                         TDateTime time) const;
  // Writes one message, or (when `batch` is given) a block of ready lines in the
  // file's encoding that already end in CR LF.
  void WriteEntry(const std::string& text, TLogLevel level, std::uint32_t threadId,
                  TDateTime time, const std::string* batch = nullptr);

  // Limits (run by WriteEntry while the file is open and locked; each may close it).
  void TrimBySize(platform::File& file);
  void TrimByAge(platform::File& file);
  void RotateFiles();
  // Archives of the log, sorted by number (0, the newest, first).
  void CollectArchives(std::vector<std::string>& list) const;
  void ShiftArchives(const std::vector<std::string>& list) const;
  // Name of archive `number` in this logger's numbering style.
  std::string ArchiveName(long long number) const;

  // Copy of the last written lines (kept only while a window is to be notified).
  std::vector<std::string> RecentLines() const;
  // Messages of this logger queued in the deferred writer and not yet written.
  int PendingCount() const;

  // Plain properties, set after creation.
  std::int64_t MaxSize = 1048576;  // 0 or less: no size limit
  bool TruncateInPlace = false;
  bool Active = true;
  std::string SourceName;
  bool ShowThreadId = false;
  bool ShowProcessId = false;
  std::string DateTimeFormat = "dd/mm/yyyy hh:nn:ss.zzz";
  bool ShowLevelMark = false;
  bool ShowLevelName = true;
  std::int32_t ArchiveCount = 2;
  std::int32_t ArchiveNumberStyle = 0;
  bool IsErrorJournal = false;
  std::uint8_t EnabledLevels = 0xFF;  // bit n: level n is written
  platform::WindowId NotifyWindow = 0;
  std::uint32_t NotifyMessage = DefaultNotifyMessage;
  std::int32_t MaxRecentLines = 1024;
  double MaxAge = 0;         // days; 0: no age limit
  TDateTime LastAgeCheck = 0;
  bool Deferred = DefaultDeferred;

 private:
  friend class TLazyWriteThread;
  friend bool Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time,
                      const std::string& text);
  friend void WaitUntilWritten(TQLXLogger* logger);

  void TruncateKeeping(platform::File& file, std::int64_t keepFrom);
  void OpenCrossProcessLock();

  // Waited for with a bound by writes, so a stuck writer cannot hold the others for ever.
  mutable std::recursive_timed_mutex fileLock_;
  mutable std::mutex nameLock_;  // fileName_ may be read under this alone
  mutable std::mutex recentLock_;
  std::unique_ptr<platform::NamedLock> mutex_;
  std::string fileName_;
  bool useMutex_ = DefaultUseMutex;
  bool lockMissingTold_ = false;  // the journal knows this logger writes without its lock
  std::deque<std::string> recentLines_;
  int pendingCount_ = 0;                 // guarded by the deferred writer's queue lock
  // The deferred writer's lines of this pass, in blocks of just over 1 MiB at most.
  std::vector<std::string> deferredLines_;
};

// Logs through a logger that may be none (then nothing happens).
void Log(TQLXLogger* logger, const std::string& text, TLogLevel level = llPlain,
         TDateTime time = 0);

// The cross-process lock name of a log path: lower-cased (Windows-1251 letters
// included), with each of " * / : < > ? \ | replaced by '_'.
//   "C:\QORD\LogFiles\QVNOptimizeDB.log" -> "c__qord_logfiles_qvnoptimizedb.log"
std::string MutexNameFor(const std::string& path);
// The POSIX lock file of a log: beside it, so only those who may write there can make it.
//   "/opt/QORD/LogFiles/QVNOptimizeDB.log" -> "/opt/QORD/LogFiles/QVNOptimizeDB.log.lock"
std::string LockFileFor(const std::string& path);

// The archive number in a file name's tail behind the log's name ("000", ".12"):
// an optional dot and 1 to 18 digits; -1 when the tail is anything else.
long long ArchiveNumberOf(const std::string& tail);

// Text (UTF-8) in the log's encoding, Windows-1251.
std::string ToLogBytes(const std::string& text);
void AppendLogBytes(std::string& out, const std::string& text);
// The operating system's id of the calling thread, asked once per thread.
std::uint32_t CallingThreadId();

// Opens the log file, retrying every 10 ms while another process holds it, up to
// `timeoutMs` (negative: FileOpenTimeout; 0: one attempt). Raises Exception
// "Log file open timeout: <ms> ms (<system text>)" when the time runs out, and
// EOSError for any other failure.
platform::File OpenLogFile(const std::string& path, platform::FileOpenMode mode, int timeoutMs);

// Module start-up: level names, the errors journal, stamp settings, the deferred
// writer's creation lock. Shutdown runs the other way round, after writing every
// queued message; `inLibrary` when the module is being unloaded from a library.
void QLXLoggerStartup();
void QLXLoggerShutdown(bool inLibrary = false);
