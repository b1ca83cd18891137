#include "maintenance/BackupRestore.h"

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "fbclient/ServiceConnection.h"
#include "logger/QLXLogger.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/FailureHints.h"
#include "maintenance/FileNames.h"
#include "maintenance/JobProgress.h"
#include "maintenance/JobSupport.h"
#include "maintenance/RebuildChecks.h"
#include "maintenance/ProgramLogger.h"
#include "platform/FileOps.h"
#include "platform/SystemError.h"
#include "platform/TestPoint.h"
#include "support/tools.h"

#include <cerrno>

namespace {

const char kBackupDump[] = "Лог резервирования (предоставлен в целях отладки ошибки):\r\n";

void ProgramLog(const std::string& text, TLogLevel level) { Log(ProgramLogger(), text, level); }

void ProgramLogFmt(const std::string& format, std::initializer_list<LogArg> args,
                   TLogLevel level) {
  if (TQLXLogger* logger = ProgramLogger()) logger->LogFmt(format, args, level);
}

// The output lines of one service action, kept for the failure dump.
using CapturedOutput = std::vector<std::string>;

std::string TextOf(const CapturedOutput& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Reads the action's output to its end; a failure dumps what came so far and goes on.
void ReadOutput(fbclient::TServiceConnection& service, CapturedOutput& captured,
                const char* dumpHeader, const char* runningPoint, JobStage stage) {
  try {
    while (!service.Eof()) {
      captured.push_back(service.GetNextLine());
      NotifyJobOutput(stage, captured.back());
      if (captured.size() == 1) platform::TestPoint(runningPoint);  // the action is under way
    }
  } catch (...) {
    ProgramLog(dumpHeader + TextOf(captured), llPlain);
    throw;
  }
}

std::string ServerName(const std::string& host, int port) {
  return host + "/" + std::to_string(port);
}

// The one outer handler of a job: a level-2 line, then the failure wrapped with the
// job's name and the innermost kind.
template <typename Body>
void RunJob(const char* errorPrefix, const char* context, Body body) {
  try {
    body();
  } catch (const Exception& e) {
    ProgramLog(errorPrefix + e.Message(), llError);
    // The wrapped text, on a failure that keeps its kind and codes for the caller.
    e.CopyWithMessage(WrapException(e, context, true)->Message())->Raise();
  } catch (const std::exception& e) {
    Exception general(e.what());
    ProgramLog(errorPrefix + general.Message(), llError);
    WrapException(general, context, true)->Raise();
  }
}

// Reported when a file is still held open (for the working file on POSIX only:
// Windows refuses the replace itself and says why).
#ifdef _WIN32
constexpr platform::ErrorCode kFileBusyCode = 32;  // ERROR_SHARING_VIOLATION
#else
constexpr platform::ErrorCode kFileBusyCode = EBUSY;
#endif

bool WaitUntilFree(const std::string& path, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!platform::IsFileFree(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace

bool DeleteStaleFile(const std::string& path) {
  CheckSideFileIsOurs(path);
  if (!platform::FileExists(path)) return false;
  if (!platform::RemoveFile(path)) {
    std::string reason = platform::SystemErrorText(platform::LastErrorCode());
    throw Exception(FormatText("Ошибка при удалении файла \"%s\": %s", {path, reason}));
  }
  return true;
}

void BackupDatabase(const std::string& host, const std::string& databasePath,
                    const std::string& backupPath, const std::string& userName,
                    const std::string& password, int port, const TJobChecks& checks) {
  CapturedOutput captured;
  RunJob("Ошибка создания резервной копии: ", "Создание резервной копии", [&] {
    ProgramLogFmt("Будет создана резервная копия базы данных \"%s\"", {databasePath}, llEvent);
    if (checks.before) checks.before();
    {
      fbclient::TServiceConnection service(ServerName(host, port), userName, password);
      if (DeleteStaleFile(backupPath)) ProgramLog("Удален старый файл резервной копии", llPlain);
      service.Attach();
      service.SetInterruptible(true);
      service.StartBackup(databasePath, backupPath);
      ReadOutput(service, captured, kBackupDump, "backup-running", JobStage::Backup);
      try {
        // A backup the server ended early (a path it could not write, say) must not
        // be restored as if it were whole.
        try {
          CheckBackupOutput(captured);
        } catch (...) {
          ProgramLog(kBackupDump + TextOf(captured), llPlain);
          throw;
        }
        // The backup's own attachment is gone with its output: what follows at once
        // (the full shutdown) leaves the least time for anybody to slip in.
        platform::TestPoint("backup-ended");
        if (checks.after) checks.after();
      } catch (...) {
        platform::RemoveFile(backupPath);  // of no use
        throw;
      }
      service.Detach();
    }  // the connection is released here, or by unwinding
    ProgramLog("Создание резервной копии завершено", llEvent);
  });
}

TRestoreResult RestoreDatabase(const std::string& host, const std::string& databasePath,
                               const std::string& backupPath, const std::string& userName,
                               const std::string& password, int port,
                               const TJobChecks& checks, unsigned pageSize) {
  const std::string tempPath = ChangeFileExt(databasePath, kTempBaseExtension);
  const char dumpHeader[] = "Лог восстановления (предоставлен в целях отладки ошибки):\r\n";
  CapturedOutput captured;
  TRestoreResult result;
  RunJob("Ошибка восстановления из резервной копии: ", "Восстановление из резервной копии", [&] {
    ProgramLogFmt("База данных \"%s\" будет восстановлена из резервной копии", {databasePath},
                  llEvent);
    if (checks.before) checks.before();
    auto restoreStart = std::chrono::steady_clock::now();
    // A partial or refused new file never stays, unless it took the working file's place.
    RemoveFileOnExit newFile(tempPath, true);
    std::string rebuiltIdentity;
    {
      fbclient::TServiceConnection service(ServerName(host, port), userName, password);
      if (DeleteStaleFile(tempPath)) {
        ProgramLog("Удален старый файл временной базы данных: " + tempPath, llPlain);
      }
      service.Attach();
      service.SetInterruptible(true);
      service.StartRestore(backupPath, tempPath, pageSize);
      try {
        ReadOutput(service, captured, dumpHeader, "restore-running", JobStage::Restore);
      } catch (const EIBInterBaseError& e) {
        // Some servers end a restore that could not activate its indices with this
        // as the action's error instead of an output line: refused alike, by the
        // first error line of its output.
        if (e.HasCode(kGbakDatabaseNotOnline)) {
          for (const std::string& line : captured) {
            if (IsGbakErrorLine(line)) RefuseRestoreOutput(line);
          }
          RefuseRestoreOutput(e.Message());
        }
        throw;
      }
      service.Detach();
    }
    result.restoreSeconds = SecondsSince(restoreStart);
    platform::TestPoint("restore");

    // The server's restore can end without a failure and yet leave a database cut
    // short, or one it could not bring online (an index that failed to activate).
    // Such a file never takes the working file's place. The server may still hold
    // the new file (its linger time): it is told to let go at once. All of this
    // runs during the pause after the restore, which stays a minimum.
    const auto pauseEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    if (platform::FileExists(tempPath)) {
      try {
        CheckRestoreOutput(captured);
        CloseLingeringDatabase(host, tempPath, userName, password, port);
        if (!WaitUntilFree(tempPath, std::chrono::seconds(60))) {
          throw Exception(FormatText("Временный файл базы данных \"%s\" занят: %s",
                                     {tempPath, platform::SystemErrorText(kFileBusyCode)}));
        }
        result.rebuiltHeader = ReadDatabaseHeader(host, tempPath, userName, password, port);
        CheckRestoredDatabaseOnline(result.rebuiltHeader);
        // The file the swap will move: a plain file, the very one the server made.
        CheckSideFileIsOurs(tempPath);
        rebuiltIdentity = platform::FileIdentity(tempPath).value_or("");
      } catch (...) {
        ProgramLog(dumpHeader + TextOf(captured), llPlain);
        throw;
      }
    }
    std::this_thread::sleep_until(pauseEnd);
    if (!platform::FileExists(tempPath)) {
      throw Exception(
          "Операция восстановлена завершилась успешно, однако куда и что она восстановила - не "
          "понятно...");
    }
    ProgramLog("Восстановление временной БД из резервной копии завершено", llEvent);
    if (checks.restored) checks.restored();

    // The swap: the new file, flushed and given the working file's owner and access
    // rules, replaces the working file in one step, so the working name holds the old
    // database or the new one at every instant. On POSIX the working file is held (an
    // exclusive flock, which the server needs to attach) from the last look at its
    // header to the replace.
    auto swapStart = std::chrono::steady_clock::now();
    if (!platform::FlushFileToDisk(tempPath)) {
      throw Exception(FormatText("Не удалось записать на диск файл \"%s\": %s",
                                 {tempPath, platform::SystemErrorText(platform::LastErrorCode())}));
    }
    // Whatever stops the replace now leaves the working file as it was: the new file
    // is removed, and the operator is never sent to put it in place by hand (others
    // may work on the old database again as soon as it is back online).
    auto refuseSwap = [&](platform::ErrorCode code) {
      throw Exception(FormatText(
          "Оптимизированная база данных не установлена на место рабочей: не удалось заменить файл "
          "\"%s\": %s.\r\nОптимизация не выполнена, новый файл удалён. Закройте программы, "
          "которые могут держать файл базы данных открытым, и повторите оптимизацию.",
          {databasePath, platform::SystemErrorText(code)}))
          .Because(TFailureReason::kNotSwapped);
    };
    if (!platform::CopyFileSecurity(databasePath, tempPath)) refuseSwap(platform::LastErrorCode());
#ifndef _WIN32
    // The server holds the file for an instant whenever it opens it to refuse a
    // program in full shutdown: the hold is tried again for a while.
    std::optional<platform::FileHold> working;
    platform::ErrorCode holdError = 0;
    const auto holdDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      working.emplace(databasePath);
      holdError = platform::LastErrorCode();
      if (working->Held() || holdError != kFileBusyCode ||
          std::chrono::steady_clock::now() >= holdDeadline)
        break;
      working.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
#endif
    if (checks.after) checks.after();
#ifndef _WIN32
    if (!working->Held()) refuseSwap(holdError);
#endif
    // Nothing was put in the new file's place since it was checked.
    if (platform::KindOfEntry(tempPath) != platform::EntryKind::kRegular ||
        platform::FileIdentity(tempPath).value_or("?") != rebuiltIdentity) {
      throw Exception(FormatText("Временный файл базы данных \"%s\" был подменён после "
                                 "восстановления. Новая база данных не будет использована. %s",
                                 {tempPath, kUntouched}))
          .Because(TFailureReason::kNotSwapped)
          .SaysUnchanged();
    }
    platform::TestPoint("swap");
    platform::ReplaceResult replaced = platform::ReplaceFileAtomically(tempPath, databasePath);
    if (replaced == platform::ReplaceResult::kNotReplaced) refuseSwap(platform::LastErrorCode());
    platform::ErrorCode flushError = platform::LastErrorCode();
    newFile.Disarm();
    if (checks.swapped) checks.swapped();
    if (replaced == platform::ReplaceResult::kReplacedNotFlushed) {
      throw Exception(FormatText(
          "Оптимизированная база данных установлена на место рабочей \"%s\" и готова к работе, "
          "однако изменение папки не удалось сразу записать на диск: %s.\r\nЕсли компьютер будет "
          "внезапно выключен прежде, чем система запишет его сама, под этим именем снова окажется "
          "прежняя база данных, целая; тогда повторите оптимизацию.",
          {databasePath, platform::SystemErrorText(flushError)}))
          .Because(TFailureReason::kNotFlushed);
    }
    platform::TestPoint("swapped");
    result.swapSeconds = SecondsSince(swapStart);
    ProgramLog("Восстановление из резервной копии завершено", llEvent);
  });
  return result;
}
