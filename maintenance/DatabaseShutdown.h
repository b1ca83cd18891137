// The server's own shutdown modes keep every other program out of the working
// database while it is rebuilt, and the server's own count of transactions proves
// that nobody got in anyway (single-user mode lets a second SYSDBA in on some
// servers, and every server lets one in between the backup's end and the full
// shutdown).
//
// The steps, each confirmed by the header page (a mode change that the server
// could not make is still reported as done):
//   online -> full        refused while anybody is attached; nobody can be at work
//                         afterwards, so the header's Next transaction is exact: N0
//   calibration cycle     single, a backup of the metadata only, full: N1
//   single                the backup, the only attachment allowed
//   full                  right after the backup's output ends: N2
//   calibration cycle     as before: N3
// The rebuild's own share of transactions depends on the server and its mode, never
// on the amount of data: the backup grows the count exactly as the metadata-only
// backup after it does, so N2-N1 == N3-N2 unless another program started a
// transaction in between (the first cycle takes up what is pending from before the
// shutdown). Before the swap the header must still show full shutdown and N3.
//
// The intent is written beside the database before the first change and kept up to
// date at every step, so that a run that was killed meanwhile is undone by the next
// start rather than leaving a site's database shut down for good, and a shutdown
// made later by somebody else is told from ours.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fbclient/ServiceParams.h"
#include "maintenance/DatabaseHeader.h"
#include "maintenance/ServerLogin.h"
#include "support/Exceptions.h"

namespace fbclient {
class TServiceConnection;
}

// The state file beside the database, named after the side files' stem:
//   "C:\QORD\DB\ZARVO.FDB" -> "C:\QORD\DB\ZARVO.qvnshutdown"
std::string ShutdownStatePath(const std::string& databasePath);
constexpr const char* kShutdownStateExtension = ".qvnshutdown";

// What the state file records: the database (its real path), the modes in which
// this run may have left it, and its Next transaction then — exact when the run
// saw it in full shutdown, a lower bound otherwise (the backup adds to it).
struct TShutdownState {
  std::string databasePath;
  bool single = false;
  bool full = false;
  std::uint64_t nextTransaction = 0;
  bool exact = false;
  long processId = 0;
};

// The file's text: a first line of fixed length (rewritten in place at every step),
// then the database's path, the process and a Russian note for whoever finds it.
std::string StateFileText(const TShutdownState& state);
// Whether a text is one this program writes as a state file (or an older version did).
bool IsOurStateText(const std::string& text);
// Nothing for a text not ours, or cut short before its path; a state file of an older version
// (no first line of ours), or one whose first line is damaged, covers either mode
// from any count.
std::optional<TShutdownState> ParseStateFile(const std::string& text);
// Whether the database's header shows the shutdown this state records, so that it
// is ours to undo: the mode one of ours, the count as recorded.
bool ShutdownIsOurs(const TShutdownState& state, const TDatabaseHeader& header);

// The rebuild's refusal because another program is, or was, at work on the database:
// nothing was changed. A plain failure for the operator; its kind tells it apart.
class EOtherProgramAtWork : public ExceptionKind<EOtherProgramAtWork, Exception> {
 public:
  using ExceptionKind::ExceptionKind;
  const char* ClassName() const noexcept override { return "Exception"; }
};

// One rebuild's hold on the working database through the server. Nothing happens
// until ShutOut; from then on, every way out that does not go through Release brings
// the database back online (the destructor, or Restore for the operator's text).
class TServerShutdown {
 public:
  explicit TServerShutdown(std::string databasePath);
  ~TServerShutdown();
  TServerShutdown(const TServerShutdown&) = delete;
  TServerShutdown& operator=(const TServerShutdown&) = delete;

  // Online to full shutdown, writing the state file first; `online` is the header
  // that showed it online. The server waits a few seconds for those attached to
  // leave; raises EOtherProgramAtWork when somebody stays.
  void ShutOut(const TDatabaseHeader& online);
  // Full shutdown to single-user, for one attachment: the backup's.
  void AdmitOne();
  // Single-user to full shutdown, on `service` when given (attached beforehand, so
  // the switch follows the step before it at once). Raises EOtherProgramAtWork when
  // the header does not show it: somebody holds the single place.
  void CloseAgain(fbclient::TServiceConnection* service = nullptr);
  // A cycle single -> metadata-only backup into `scratchPath` -> full, measuring
  // what the rebuild's own steps add to the count. The file is removed.
  // `whileAdmitted` runs in single-user mode before the backup (a look of our own at
  // the database; nobody else's transaction can start meanwhile on Super, and an
  // automatic sweep it would set off cannot get in).
  void Calibrate(const std::string& scratchPath,
                 const std::function<void()>& whileAdmitted = nullptr);
  // The backup's growth of the count against the calibration's after it. Raises
  // EOtherProgramAtWork when they differ.
  void ProveNobodyElseWorked() const;
  // The count as the last full shutdown left it, which the swap must still find.
  std::uint64_t LastCount() const noexcept { return counts_.empty() ? 0 : counts_.back(); }

  // The working name holds the rebuilt database now, online as the restore made it:
  // the state file goes, nothing is to be undone.
  void Release() noexcept;
  // The same, but the state file stays for the next start to look at.
  void KeepStateFile() noexcept { entered_ = false; }
  // Brings the database back online and checks by its header that it is. Empty when
  // it is online again (or was never shut down); otherwise what the operator must
  // know: the database is whole but still shut down, and the next start of the
  // program brings it back (the state file stays for that).
  std::string Restore() noexcept;

 private:
  void Record(bool single, bool full, std::uint64_t next, bool exact);
  std::uint64_t ConfirmFull(const char* step);

  std::string databasePath_;
  bool entered_ = false;
  // Set when the first shutdown was asked and its end not seen: the server may still
  // make it until then, so the database is not brought back online before.
  std::optional<std::chrono::steady_clock::time_point> settlesAt_;
  std::vector<std::uint64_t> counts_;  // N0, N1, N2, N3 as they come
};

// Tells the server to close a database nobody is attached to at once, whatever its
// linger time (the restored file, which the server would otherwise keep open).
void CloseLingeringDatabase(const std::string& host, const std::string& databasePath,
                            const std::string& userName, const std::string& password, int port);

// A killed run's partial backup and temporary file beside the database, removed
// once the server has let go of them (never waited for); returns what had to stay.
std::string RemoveLeftovers(const std::string& databasePath);
// Their size: room that the next run frees before it needs it.
std::uint64_t LeftoverBytes(const std::string& databasePath);

// What became of a database a recovery looked at.
enum class TRecoveryOutcome {
  kNothingOfOurs,  // no state file of ours, or nothing left to undo
  kBroughtBack,    // an ended run's shutdown undone: the database is online again
  kLeftToOthers,   // shut down, but not by us (or no longer as we left it): left as it is
  kRunAlive,       // a run is working on it: its own business
  kMissing,        // no such file
  kFailed,         // could not be brought back (the text says why)
};
struct TRecoveryResult {
  TRecoveryOutcome outcome;
  std::string text;  // for the log and the operator; empty when there is nothing to tell
};

// Looks for the state file of an ended run beside the database and brings the
// database it names back online, if the shutdown is still the one that run left,
// then removes that run's leftovers. The caller must make sure that no live run owns
// it (the rebuild lock). Raises when the database could not be brought back.
TRecoveryResult RecoverEndedRun(const std::string& databasePath);
// The same, for the rebuild's own start: the text when a database was brought back.
std::string RecoverInterruptedRebuild(const std::string& databasePath);

// For a path as given: the lock is tried first (a live run is left alone); failures
// become text. Logged.
TRecoveryResult RecoverDatabase(const std::string& path);

// At a program's start: each of `databasePaths`; what was brought back or could not
// be, as one text.
std::string RecoverInterruptedRebuilds(const std::vector<std::string>& databasePaths);
