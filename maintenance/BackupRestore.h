// The two jobs of a rebuild, run through the local server's service manager:
// a full backup of the working database, and a restore of that backup into a
// temporary file beside it that, once checked, takes the working file's place in
// one atomic replace. Both log their stages on the program logger and raise every
// failure wrapped with the job's name and the failure's kind.
#pragma once

#include <functional>
#include <string>

#include "maintenance/DatabaseHeader.h"

// Checks the caller runs inside a job, so that their failures are the job's own
// (logged and wrapped alike). Either may be empty.
struct TJobChecks {
  std::function<void()> before;  // after the job's first log line, before any file is touched
  std::function<void()> after;   // backup: once the backup is complete (the backup's
                                 // output has ended and passed its check); restore: right
                                 // before the swap, with the working file held
  std::function<void()> restored;  // restore: the new file is complete and checked, before
                                   // it is flushed for the swap
  std::function<void()> swapped;  // restore: the rebuilt file has just replaced the working
                                  // one (called before anything else can fail)
};

// Deletes a side file left by an earlier run; true when there was one. A file that
// cannot be deleted raises, and so does anything at the name that is not a plain
// file (the server would write through a link wherever it points).
bool DeleteStaleFile(const std::string& path);

// Returns when the backup file is complete (and `checks.after` has passed; when it
// fails, the backup file is removed).
void BackupDatabase(const std::string& host, const std::string& databasePath,
                    const std::string& backupPath, const std::string& userName,
                    const std::string& password, int port, const TJobChecks& checks = {});

struct TRestoreResult {
  TDatabaseHeader rebuiltHeader;  // the new database's header, read before the swap
  double restoreSeconds = 0;      // the server's restore action
  double swapSeconds = 0;         // flushing the new file and replacing the working one
};

// Returns when the rebuilt database stands at `databasePath`. The new file replaces
// the working file only when the restore's output holds no error, the new database
// is online, and `checks.after` has passed; otherwise the working file is untouched
// and the new file removed.
// The page size of a rebuilt database: this, or the working database's own when
// that is larger (a key that fits its pages may not fit smaller ones).
constexpr unsigned kRestorePageSize = 16384;
constexpr unsigned RestorePageSizeFor(unsigned workingPageSize) {
  return workingPageSize > kRestorePageSize ? workingPageSize : kRestorePageSize;
}

TRestoreResult RestoreDatabase(const std::string& host, const std::string& databasePath,
                               const std::string& backupPath, const std::string& userName,
                               const std::string& password, int port,
                               const TJobChecks& checks = {},
                               unsigned pageSize = kRestorePageSize);
