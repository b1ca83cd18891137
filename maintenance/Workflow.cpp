#include "maintenance/Workflow.h"

#include <chrono>

#include "fbclient/FBUtils.h"
#include "logger/LogFormat.h"
#include "maintenance/BackupRestore.h"
#include "maintenance/FileNames.h"
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

// Deletes the backup file on every way out once armed; the result is ignored.
class BackupFileGuard {
 public:
  explicit BackupFileGuard(std::string path) : path_(std::move(path)) {}
  ~BackupFileGuard() {
    if (armed_) platform::RemoveFile(path_);
  }
  BackupFileGuard(const BackupFileGuard&) = delete;
  BackupFileGuard& operator=(const BackupFileGuard&) = delete;
  void Arm() { armed_ = true; }

 private:
  std::string path_;
  bool armed_ = false;
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

void OptimizeDatabase(const std::string& databasePath) {
  CheckDatabasePath(databasePath);
  if (!platform::IsFileFree(databasePath)) {
    throw Exception(FormatText(
        "Файл %s занят! Закройте все программы, которые работают с этой базой данных! Если "
        "всё-равно не удалось освободить файл, то перезапустите службу \"Firebird Server - "
        "ZARVOInstance\"",
        {databasePath}));
  }
  const std::string backupPath = ChangeFileExt(databasePath, kBackupExtension);

  // Declared first so that it is destroyed last: the backup file goes before the
  // viewer is terminated.
  ViewerGuard viewer(new TProgressViewer(kOptimizeCaption, false, false));
  BackupFileGuard backupFile(backupPath);

  ShowStage(*viewer, kStageBackup);
  {
    std::string password = FBUtils::GetFBPassword();
    int port = FBUtils::GetFBPort();
    BackupDatabase(kServerHost, databasePath, backupPath, kServerUser, password, port);
  }
  backupFile.Arm();

  ShowStage(*viewer, kStageRestore);
  std::string password = FBUtils::GetFBPassword();
  int port = FBUtils::GetFBPort();
  RestoreDatabase(kServerHost, databasePath, backupPath, kServerUser, password, port);
}
