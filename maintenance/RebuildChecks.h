// The checks that stand between an operator's press and the first change of a file,
// and those that decide whether a rebuilt file may take the working file's place.
// Each raises an operation failure with its own message; none changes anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "maintenance/DatabaseHeader.h"
#include "platform/NamedLock.h"

// Where the database really lies: symbolic links resolved (on POSIX also an absolute
// path), so that the side files and the swap happen beside the real file. The path
// as typed when it cannot be resolved (the path check then says why).
std::string RealDatabasePath(const std::string& typedPath);

// One rebuild per database at a time, across processes and users: the lock is
// named after the database's real path and held for as long as the object lives.
// Raises when another run holds it, or when it cannot be taken at all.
std::unique_ptr<platform::NamedLock> TakeRebuildLock(const std::string& databasePath);

// Refuses a database whose backup or temporary file would be the database itself,
// and every file with one of the two side extensions.
void CheckSideFileNames(const std::string& databasePath);

// No other program holds the file (the database server included); the message
// names the file as the operator typed it.
void CheckFileFree(const std::string& databasePath, const std::string& typedPath);

// Room on the volume for the backup and the new database beside the working file.
// Measured (see bench-optimize.sh): the backup is 0.36 to 0.71 times the working
// file and the rebuilt file at most 0.86 times it plus some 2 MB; the bound asks for
// 2.25 times the working file plus 64 MB.
std::uint64_t RoomNeededForRebuild(std::uint64_t databaseSize);
void CheckRoomForRebuild(const std::string& databasePath, std::uint64_t databaseSize);

// What the backup service itself adds to the working database's header, measured on
// the server: its own attachment with the server's two helper attachments of an
// opened database, and one transaction; once more two attachments and a transaction
// when the database is opened for the first time since it was made or restored.
// Anything else means that somebody else attached meanwhile.
void CheckOnlyTheBackupAttached(const std::string& databasePath, const TDatabaseHeader& before,
                                const TDatabaseHeader& after);
// Nobody attached and no transaction started since the backup ended.
void CheckUntouchedSinceBackup(const std::string& databasePath, const TDatabaseHeader& afterBackup,
                               const TDatabaseHeader& now);

// The restore's output ends with the tool's closing line and holds no error line.
void CheckRestoreOutput(const std::vector<std::string>& output);
// The new database is online: no shutdown or maintenance mode.
void CheckRestoredDatabaseOnline(const TDatabaseHeader& header);
