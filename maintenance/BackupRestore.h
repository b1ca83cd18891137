// The two jobs of a rebuild, run through the local server's service manager:
// a full backup of the working database, and a restore of that backup into a
// temporary file beside it that then takes the working file's place. Both log
// their stages on the program logger and raise every failure wrapped with the
// job's name and the failure's kind.
#pragma once

#include <string>

// Returns when the backup file is complete.
void BackupDatabase(const std::string& host, const std::string& databasePath,
                    const std::string& backupPath, const std::string& userName,
                    const std::string& password, int port);

// Returns when the rebuilt database stands at `databasePath`.
void RestoreDatabase(const std::string& host, const std::string& databasePath,
                     const std::string& backupPath, const std::string& userName,
                     const std::string& password, int port);

// The page size of every rebuilt database.
constexpr unsigned kRestorePageSize = 16384;
