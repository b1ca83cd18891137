#include "maintenance/Workflow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "fbclient/FBUtils.h"
#include "logger/LogFormat.h"
#include "maintenance/BackupRestore.h"
#include "maintenance/FileNames.h"
#include "maintenance/JobSupport.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/RebuildChecks.h"
#include "logger/QLXLogger.h"
#include "platform/Files.h"
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
    throw Exception("База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!");
  }
  if (path.compare(0, 2, "\\\\") == 0) {
    throw Exception(
        "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!\r\nСетевые пути НЕ ДОПУСКАЮТСЯ!!!");
  }
  if (!platform::FileExists(path)) {
    throw Exception(FormatText("Файл \"%s\" не найден на этом компьютере!", {path}));
  }
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

void OptimizeDatabase(const std::string& typedPath, TRebuildReport& report) {
  // The checks; nothing is touched until all have passed.
  const std::string databasePath = RealDatabasePath(typedPath);
  report.databasePath = databasePath;
  std::unique_ptr<platform::NamedLock> rebuildLock = TakeRebuildLock(databasePath);
  CheckDatabasePath(typedPath);
  if (databasePath != typedPath) CheckDatabasePath(databasePath);
  CheckSideFileNames(databasePath);
  CheckFileFree(databasePath, typedPath);
  report.sizeBefore = platform::FileSizeOf(databasePath).value_or(-1);
  CheckRoomForRebuild(databasePath,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(report.sizeBefore, 0)));
  const std::string backupPath = ChangeFileExt(databasePath, kBackupExtension);

  // Declared first so that it is destroyed last: the backup file goes before the
  // viewer is terminated.
  ViewerGuard viewer(new TProgressViewer(kOptimizeCaption, false, false));
  RemoveFileOnExit backupFile(backupPath, false);  // armed once the backup is complete

  // The working database's header, read without attaching, before the backup, after
  // it and right before the swap: nobody but the backup may have attached, or the
  // rebuilt file could lack what they committed.
  TDatabaseHeader beforeBackup, afterBackup;
  ShowStage(*viewer, kStageBackup);
  {
    std::string password = FBUtils::GetFBPassword();
    int port = FBUtils::GetFBPort();
    auto readHeader = [&] {
      return ReadDatabaseHeader(kServerHost, databasePath, kServerUser, password, port);
    };
    TJobChecks checks;
    checks.before = [&] {
      beforeBackup = readHeader();
      report.pageSizeBefore = static_cast<int>(beforeBackup.pageSize);
    };
    checks.after = [&] {
      afterBackup = readHeader();
      CheckOnlyTheBackupAttached(databasePath, beforeBackup, afterBackup);
    };
    auto start = std::chrono::steady_clock::now();
    BackupDatabase(kServerHost, databasePath, backupPath, kServerUser, password, port, checks);
    report.backupSeconds = SecondsSince(start);
  }
  backupFile.Arm();
  platform::TestPoint("backup");

  ShowStage(*viewer, kStageRestore);
  std::string password = FBUtils::GetFBPassword();
  int port = FBUtils::GetFBPort();
  TJobChecks checks;
  checks.after = [&] {
    TDatabaseHeader now =
        ReadDatabaseHeader(kServerHost, databasePath, kServerUser, password, port);
    CheckUntouchedSinceBackup(databasePath, afterBackup, now);
  };
  TRestoreResult restored =
      RestoreDatabase(kServerHost, databasePath, backupPath, kServerUser, password, port, checks);
  report.restoreSeconds = restored.restoreSeconds;
  report.swapSeconds = restored.swapSeconds;
  report.pageSizeAfter = static_cast<int>(restored.rebuiltHeader.pageSize);
  report.sizeAfter = platform::FileSizeOf(databasePath).value_or(-1);
  Log(ProgramLogger(), "Итоги оптимизации:\r\n" + RebuildReportText(report), llPlain);
}
