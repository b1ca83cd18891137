#include "maintenance/Workflow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "fbclient/DatabaseOwner.h"
#include "fbclient/ServiceConnection.h"
#include "logger/LogFormat.h"
#include "maintenance/BackupRestore.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/FailureHints.h"
#include "maintenance/FileNames.h"
#include "maintenance/JobSupport.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/RebuildChecks.h"
#include "logger/QLXLogger.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/RunAtLogon.h"
#include "platform/TestPoint.h"
#include "platform/FileOps.h"
#include "progress/ProgressViewer.h"
#include "support/Exceptions.h"

namespace {

// Ends the viewer on every way out; the viewer frees itself on its own thread. The
// progress window stays on top of everything until that thread has closed it, about
// one frame later: what the caller shows next (the success text or the failure's
// message) waits for that, so it is never hidden behind it.
class ViewerGuard {
 public:
  explicit ViewerGuard(TProgressViewer* viewer) : viewer_(viewer) {}
  ~ViewerGuard() {
    viewer_->Terminate();
    WaitForViewersToEnd(std::chrono::seconds(2));
  }
  ViewerGuard(const ViewerGuard&) = delete;
  ViewerGuard& operator=(const ViewerGuard&) = delete;
  TProgressViewer& operator*() const { return *viewer_; }

 private:
  TProgressViewer* viewer_;
};

// Should this run be ended with no chance to put things right (killed, a power cut,
// the session ended), the user's next logon brings the database back online; the
// registration goes when the run ends, whichever way.
class RecoveryAtNextLogon {
 public:
  explicit RecoveryAtNextLogon(const std::string& databasePath)
      : name_(RecoveryRegistrationName(databasePath)) {
    if (!platform::RegisterRunAtNextLogon(name_, RecoveryCommand(databasePath)))
      Log(ProgramLogger(), "Не удалось записать команду восстановления при следующем входе в систему",
          llWarning);
  }
  ~RecoveryAtNextLogon() { platform::UnregisterRunAtNextLogon(name_); }
  RecoveryAtNextLogon(const RecoveryAtNextLogon&) = delete;
  RecoveryAtNextLogon& operator=(const RecoveryAtNextLogon&) = delete;

 private:
  std::string name_;
};

void ShowStage(TProgressViewer& viewer, const char* text) {
  viewer.SetString(10, text, 1, true, 0x8000, fsBold, 14, "");
}

}  // namespace

void CheckDatabasePath(const std::string& path) {
  std::string upper = path;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper.compare(0, 3, "S:\\") == 0) {
    throw Exception("База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!")
        .Because(TFailureReason::kPath);
  }
  if (platform::IsNetworkPath(path)) {
    throw Exception(
        "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!\r\nСетевые пути НЕ ДОПУСКАЮТСЯ!!!")
        .Because(TFailureReason::kPath);
  }
  if (!platform::FileExists(path)) {
    throw Exception(FormatText("Файл \"%s\" не найден на этом компьютере!", {path}))
        .Because(TFailureReason::kPath);
  }
}

std::string RecoveryRegistrationName(const std::string& databasePath) {
  return "QVNOptimizeDB recover " + NameDigest(platform::FileNameKey(databasePath));
}

std::string RecoveryCommand(const std::string& databasePath) {
  return "\"" + platform::ExecutablePath() + "\" recover \"" + databasePath + "\"";
}

std::string RebuildReportText(const TRebuildReport& report) {
  auto figure = [](auto value) { return value < 0 ? std::string("?") : std::to_string(value); };
  auto seconds = [](double value) {
    if (value < 0) return std::string("?");
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string result = text;
    for (char& c : result) {
      if (c == '.') c = ',';
    }
    return result + " с";
  };
  return "Размер файла базы данных: " + figure(report.sizeBefore) + " -> " +
         figure(report.sizeAfter) + " байт\r\nРазмер страницы: " + figure(report.pageSizeBefore) +
         " -> " + figure(report.pageSizeAfter) + " байт\r\nВремя: резервное копирование " +
         seconds(report.backupSeconds) + "; восстановление " + seconds(report.restoreSeconds) +
         "; замена файла " + seconds(report.swapSeconds);
}

void OptimizeDatabase(const std::string& databasePath) {
  TRebuildReport report;
  OptimizeDatabase(databasePath, report);
}

namespace {

// Somebody took the one place the single-user mode leaves before the backup could.
const char kPlaceTaken[] =
    "К базе данных подключилась другая программа, поэтому её нельзя было закрыть для "
    "оптимизации: сделанные ею изменения могли бы не попасть в новую копию. Оптимизация прервана.\r\n"
    "Закройте все программы, которые работают с этой базой данных (систему ZARVO), на всех "
    "компьютерах и повторите оптимизацию.";

void RebuildDatabase(const std::string& typedPath, TRebuildReport& report, bool& jobFailure) {
  // The checks; nothing is touched until all have passed.
  const std::string databasePath = RealDatabasePath(typedPath);
  report.databasePath = databasePath;
  CheckNameAsTheServerReadsIt(typedPath);
  CheckDatabasePath(typedPath);
  if (databasePath != typedPath) {
    CheckNameAsTheServerReadsIt(databasePath);
    CheckDatabasePath(databasePath);
  }
  CheckDatabaseFile(databasePath);
  std::unique_ptr<platform::NamedLock> rebuildLock = TakeRebuildLock(databasePath);
  CheckSideFileNames(databasePath);
  // With the lock held, a state file left beside the database is that of a run
  // that has ended: its shutdown is undone first, and the operator told.
  std::string recovered;
  try {
    recovered = RecoverInterruptedRebuild(databasePath);
  } catch (const EIBInterBaseError& e) {
    // The server could not be asked: its cause, and nothing was done.
    const std::string cause = OperatorHint(e);
    std::unique_ptr<Exception> failure = e.CopyWithMessage(
        e.Message() + (cause.empty() ? "" : "\r\n" + cause) + "\r\n" + kUntouched);
    failure->SaysUnchanged();
    failure->Raise();
  }
  if (!recovered.empty())
    throw Exception(recovered + " Повторите оптимизацию.").Because(TFailureReason::kRecovered);
  CheckSideFilesAreOurs(databasePath);
  CheckWriteAccess(databasePath);
  report.sizeBefore = platform::FileSizeOf(databasePath).value_or(-1);
  CheckRoomForRebuild(databasePath,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(report.sizeBefore, 0)));
  const std::string backupPath = ChangeFileExt(databasePath, kBackupExtension);
  // The calibration's metadata-only backups go to the temporary file's name, which
  // is free until the restore.
  const std::string scratchPath = ChangeFileExt(databasePath, kTempBaseExtension);

  // Declared first so that it is destroyed last: the backup file goes, and the
  // database is back online, before the viewer is terminated.
  ViewerGuard viewer(new TProgressViewer(kOptimizeCaption, false, false));
  RemoveFileOnExit backupFile(backupPath, false);  // armed once the backup is complete
  RecoveryAtNextLogon recoveryAtLogon(databasePath);
  TServerShutdown shutdown(databasePath);
  bool swapped = false, backingUp = false;
  // What a job's failure of no more particular reason is.
  TFailureReason jobReason = TFailureReason::kBackupFailed;
  unsigned pageSize = kRestorePageSize;
  try {
    ShowStage(*viewer, kStageBackup);
    {
      TServerLogin login = CurrentServerLogin();
      // Attached beforehand, so that the full shutdown follows the backup at once.
      std::unique_ptr<fbclient::TServiceConnection> fullShutdown;
      TJobChecks checks;
      // Inside the backup job, so that the server's refusals (a wrong password, no
      // server) are the job's own, logged and wrapped alike.
      checks.before = [&] {
        TDatabaseHeader before = ReadDatabaseHeader(login, databasePath);
        CheckDatabaseMode(databasePath, before);
        report.pageSizeBefore = static_cast<int>(before.pageSize);
        pageSize = RestorePageSizeFor(before.pageSize);
        fullShutdown = std::make_unique<fbclient::TServiceConnection>(login.ServerName(),
                                                                      login.user, login.password);
        fullShutdown->Attach();
        // The first change: the server lets nobody else in from here to the swap,
        // but one SYSDBA or owner attachment while in single-user mode; what the
        // rebuild's own steps add to the transaction count is measured on the way.
        shutdown.ShutOut(before);
        // The owner is read while the database admits only us: the transaction it
        // takes then sets off no automatic sweep, and it is taken up by the first
        // cycle. Another owner is refused, the database back online as it was.
        shutdown.Calibrate(scratchPath, [&] {
          CheckDatabaseOwner(databasePath,
                             fbclient::DatabaseOwner(login.ServerName(), databasePath, login.user,
                                                     login.password),
                             login.user);
        });
        shutdown.AdmitOne();
        platform::TestPoint("shutdown");
        backingUp = true;
      };
      checks.after = [&] {
        auto start = std::chrono::steady_clock::now();
        shutdown.CloseAgain(fullShutdown.get());
        Log(ProgramLogger(),
            FormatText("База данных закрыта полностью через %s мс после окончания резервного "
                       "копирования",
                       {std::to_string(static_cast<long>(SecondsSince(start) * 1000))}),
            llPlain);
        backingUp = false;
        shutdown.Calibrate(scratchPath);
        shutdown.ProveNobodyElseWorked();
      };
      auto start = std::chrono::steady_clock::now();
      jobFailure = true;
      BackupDatabase(login.host, databasePath, backupPath, login.user, login.password, login.port,
                     checks);
      jobFailure = false;
      report.backupSeconds = SecondsSince(start);
    }
    backupFile.Arm();
    backingUp = false;
    platform::TestPoint("backup");

    ShowStage(*viewer, kStageRestore);
    jobReason = TFailureReason::kRestoreFailed;
    TServerLogin login = CurrentServerLogin();
    TJobChecks checks;
    // Right before the swap: the working database is still shut down as we left it,
    // and nobody has started a transaction in it since.
    checks.after = [&] {
      TDatabaseHeader now = ReadDatabaseHeader(login, databasePath);
      if (!now.FullShutdown() || now.nextTransaction != shutdown.LastCount()) {
        throw Exception(FormatText(
            "Рабочая база данных \"%s\" была открыта для работы во время оптимизации (%s): в ней "
            "могли появиться изменения, которых нет в новой копии. Оптимизация прервана.",
            {databasePath, now.attributes}))
            .Because(TFailureReason::kBusy);
      }
    };
    // The backup has been read and is of no further use: gone before the flushes of
    // the swap, which would otherwise write its data out too.
    checks.restored = [&] { backupFile.RemoveNow(); };
    checks.swapped = [&] { swapped = true; };
    jobFailure = true;
    TRestoreResult restored = RestoreDatabase(login.host, databasePath, backupPath, login.user,
                                              login.password, login.port, checks, pageSize);
    jobFailure = false;
    shutdown.Release();
    report.restoreSeconds = restored.restoreSeconds;
    report.swapSeconds = restored.swapSeconds;
    report.pageSizeAfter = static_cast<int>(restored.rebuiltHeader.pageSize);
  } catch (const Exception& e) {
    if (swapped) {
      // Replaced, but the folder's new entry may not be on the disk: should the old
      // file come back after a power cut, the state file brings it back online.
      shutdown.KeepStateFile();
      throw;
    }
    // One report: the failure's own text, one line for its cause in the operator's
    // words (ours say it already), and one for what became of the working database —
    // unchanged, or (the server gone) still shut down and how that is put right.
    TFailureReason reason = FailureReasonOf(e);
    std::string cause;
    if (const auto* server = dynamic_cast<const EIBInterBaseError*>(&e)) {
      if (backingUp && jobFailure && server->HasCode(isc_shutdown)) {
        // The server refused the backup because the single place was taken.
        cause = kPlaceTaken;
        reason = TFailureReason::kBusy;
      } else {
        cause = OperatorHint(*server);
      }
    }
    if (reason == TFailureReason::kInternal && jobFailure) reason = jobReason;
    std::string message = e.Message();
    if (!cause.empty()) message += "\r\n" + cause;
    std::string outcome = shutdown.Restore();
    if (!outcome.empty())
      message += "\r\n" + outcome;
    else if (!e.TellsUnchanged())
      message += std::string("\r\n") + kUntouched;
    std::unique_ptr<Exception> failure = e.CopyWithMessage(message);
    failure->Because(reason);
    failure->Raise();
  }
  report.sizeAfter = platform::FileSizeOf(databasePath).value_or(-1);
  Log(ProgramLogger(), "Итоги оптимизации:\r\n" + RebuildReportText(report), llPlain);
}

}  // namespace

void OptimizeDatabase(const std::string& typedPath, TRebuildReport& report) {
  // Every failure goes to the log: the jobs write their own; the refusals before
  // them and the steps between them are written here.
  bool jobFailure = false;
  try {
    RebuildDatabase(typedPath, report, jobFailure);
  } catch (const Exception& e) {
    if (!jobFailure) Log(ProgramLogger(), "Ошибка оптимизации: " + e.Message(), llError);
    throw;
  }
}
