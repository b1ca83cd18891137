// The rebuild of a database as the optimize button runs it, and the path check that
// the statistics request shares. Independent of any window: the front ends read the
// path, call these, and show the result or the failure's message.
#pragma once

#include <cstdint>
#include <string>

#include "maintenance/ServerLogin.h"

inline const char kOptimizeCaption[] = "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ";
inline const char kStageBackup[] = "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ";
inline const char kStageRestore[] = "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ";
inline const char kOptimizeSuccess[] = "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ УСПЕШНО ЗАВЕРШЕНА!";

// Refuses, by raising, a path that is not a local existing file: drive S: (any case),
// a network path, no file there (a directory does not count).
void CheckDatabasePath(const std::string& path);

// The before-and-after record of one rebuild; what is not known (yet) stays negative.
struct TRebuildReport {
  std::string databasePath;  // where the database really lies
  std::int64_t sizeBefore = -1, sizeAfter = -1;
  int pageSizeBefore = -1, pageSizeAfter = -1;
  double backupSeconds = -1, restoreSeconds = -1, swapSeconds = -1;
};

// The record as lines for the log and the console (CR LF between them):
//   Размер файла базы данных: 983040 -> 2981888 байт
//   Размер страницы: 4096 -> 16384 байт
//   Время: резервное копирование 0,21 с; восстановление 0,35 с; замена файла 0,002 с
std::string RebuildReportText(const TRebuildReport& report);

// Checks the path, that no other program holds the file and that nothing stands in
// the way (another rebuild of it, side-file names, room on the disk), then backs the
// database up and restores it in place under a progress viewer. Returns on success
// (the caller then shows kOptimizeSuccess, once the viewer is gone); raises
// otherwise. `report` is filled as the figures become known, also on failure. The
// backup file is removed on every way out once the backup has completed.
void OptimizeDatabase(const std::string& databasePath, TRebuildReport& report);
void OptimizeDatabase(const std::string& databasePath);

// The recovery a run registers for the user's next logon (Windows RunOnce): its name,
// one per database, and the command, this program with "recover" and the database:
//   "C:\QORD\QVNOptimizeDB.exe" recover "C:\QORD\DB\ZARVO.FDB"
std::string RecoveryRegistrationName(const std::string& databasePath);
std::string RecoveryCommand(const std::string& databasePath);
