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

// The sentence every refusal before the swap ends with.
inline const char kUntouched[] = "Рабочая база данных не изменена.";

// Where the database really lies: symbolic links resolved (on POSIX also an absolute
// path), so that the side files and the swap happen beside the real file. The path
// as typed when it cannot be resolved (the path check then says why).
std::string RealDatabasePath(const std::string& typedPath);

// The path names a file as the server will read it: no blank at either end of the
// path (the server trims them, and would rebuild another file than the one named),
// and on Windows no dot or blank at the end of the file name either.
void CheckNameAsTheServerReadsIt(const std::string& path);

// A regular file with one name: not a directory, device or FIFO (which would hang
// the server), and no second hard link through which the old database would live on
// under another name after the swap.
void CheckDatabaseFile(const std::string& databasePath);

// One rebuild per database at a time, across processes and users, whatever path
// names it: the lock is named after the identity of the database's folder (links,
// bind mounts, 8.3 names, subst drives lead to the same) and the stem its side files
// share ("ZARVO.FDB" and "ZARVO.GDB" share "ZARVO.qvnbasebackup"). Held for as long
// as the object lives. Raises when another run holds it, or when it cannot be taken.
std::unique_ptr<platform::NamedLock> TakeRebuildLock(const std::string& databasePath);
// The same, but nothing when another run holds it.
std::unique_ptr<platform::NamedLock> TryRebuildLock(const std::string& databasePath);

// Refuses a database whose backup, temporary or state file would be the database
// itself, and every file with one of the side extensions.
void CheckSideFileNames(const std::string& databasePath);

// A side file (backup, temporary, state) is missing or a plain file of ours; a link
// (even a dangling one), a folder or a device at its name is refused, for the server
// would write through it, and the swap would move a link into the working name.
void CheckSideFileIsOurs(const std::string& sidePath);
// The same for every side file of the database.
void CheckSideFilesAreOurs(const std::string& databasePath);

// The program may change the file and its folder (permissions, a read-only volume).
void CheckWriteAccess(const std::string& databasePath);

// Room on the volume for the backup and the new database beside the working file
// (a killed run's side files there count as free: they go first).
// Measured (see bench-optimize.sh): the backup is 0.36 to 0.71 times the working
// file and the rebuilt file at most 0.86 times it plus some 2 MB; the bound asks for
// 2.25 times the working file plus 64 MB.
std::uint64_t RoomNeededForRebuild(std::uint64_t databaseSize);
void CheckRoomForRebuild(const std::string& databasePath, std::uint64_t databaseSize);

// The working database as the rebuild may take it: online and writable (a database
// somebody else shut down or made read-only stays as it is).
void CheckDatabaseMode(const std::string& databasePath, const TDatabaseHeader& header);

// The database is owned by the user the rebuild works as: the restore makes that
// user the owner of the new database, and another owner would lose the rights to
// back it up and change it.
void CheckDatabaseOwner(const std::string& databasePath, const std::string& owner,
                        const std::string& rebuildUser);

// Whether gbak marks `line` as a failure: "ERROR:" right after its "gbak:" mark (or
// opening a line of a message of several lines), its closing "Exiting before
// completion due to errors", or a new database it could not bring online. Only the
// tool's marks at their place count, never words a table's or a file's name holds:
//   "gbak: ERROR:free disk space exhausted"             yes
//   "gbak:Exiting before completion due to errors"      yes
//   "gbak:    writing data for table ERROR: LOG"        no
//   "gbak:    restoring index \"ERROR:\""               no
bool IsGbakErrorLine(const std::string& line);
// Raises the restore's failure that `line` reports: the new database is not used.
[[noreturn]] void RefuseRestoreOutput(const std::string& line);

// The backup's output ends with the tool's closing line, holds no error line, and
// names no shadow file (the restore would try to make the live shadow's file again).
void CheckBackupOutput(const std::vector<std::string>& output);
// The restore's output ends with the tool's closing line and holds no error line.
void CheckRestoreOutput(const std::vector<std::string>& output);
// The new database is online: no shutdown or maintenance mode.
void CheckRestoredDatabaseOnline(const TDatabaseHeader& header);
