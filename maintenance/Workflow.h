// The rebuild of a database as the optimize button runs it, and the path check that
// the statistics request shares. Independent of any window: the front ends read the
// path, call these, and show the result or the failure's message.
#pragma once

#include <string>

inline const char kOptimizeCaption[] = "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ";
inline const char kStageBackup[] = "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ";
inline const char kStageRestore[] = "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ";
inline const char kOptimizeSuccess[] = "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ УСПЕШНО ЗАВЕРШЕНА!";
inline const char kServerHost[] = "127.0.0.1";
inline const char kServerUser[] = "SYSDBA";

// Refuses, by raising, a path that is not a local existing file: drive S: (any case),
// a network path, no file there (a directory does not count).
void CheckDatabasePath(const std::string& path);

// Checks the path and that no other program holds the file, then backs the database
// up and restores it in place under a progress viewer. Returns on success (the
// caller then shows kOptimizeSuccess, once the viewer is gone); raises otherwise.
// The backup file is removed on every way out once the backup has completed.
void OptimizeDatabase(const std::string& databasePath);
