// The server's own shutdown modes keep every other program out of the working
// database while it is rebuilt: single-user for the backup (refused at once while
// anybody is attached; afterwards one SYSDBA or owner attachment at most, the
// backup's), full from the backup's end to the swap (nobody at all), and online
// again on every way out. The intent is written beside the database before the
// first shutdown, so that a run that was killed meanwhile is undone by the next
// start rather than leaving a site's database shut down for good.
#pragma once

#include <string>
#include <vector>

#include "fbclient/ServiceParams.h"
#include "maintenance/DatabaseHeader.h"
#include "maintenance/ServerLogin.h"

namespace fbclient {
class TServiceConnection;
}

// The state file beside the database, named after the side files' stem:
//   "C:\QORD\DB\ZARVO.FDB" -> "C:\QORD\DB\ZARVO.qvnshutdown"
std::string ShutdownStatePath(const std::string& databasePath);
constexpr const char* kShutdownStateExtension = ".qvnshutdown";

// One rebuild's hold on the working database through the server. Nothing happens
// until Enter; from then on, every way out that does not go through Release brings
// the database back online (the destructor, or Restore for the operator's text).
class TServerShutdown {
 public:
  explicit TServerShutdown(std::string databasePath);
  ~TServerShutdown();
  TServerShutdown(const TServerShutdown&) = delete;
  TServerShutdown& operator=(const TServerShutdown&) = delete;

  // Shuts the database down in `mode`, writing the state file first. `service`,
  // when given, is an attached connection kept ready so that the switch follows the
  // step before it with no delay. Raises the server's refusal.
  void Enter(fbclient::TShutdownMode mode, fbclient::TServiceConnection* service = nullptr);
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
  std::string databasePath_;
  bool entered_ = false;
};

// Tells the server to close a database nobody is attached to at once, whatever its
// linger time (the restored file, which the server would otherwise keep open).
void CloseLingeringDatabase(const std::string& host, const std::string& databasePath,
                            const std::string& userName, const std::string& password, int port);

// Looks for the state file of an ended run beside each database and brings that
// database back online. The caller must make sure that no live run owns it (the
// rebuild lock). Returns what was done, for the log and the operator, empty when
// there was nothing to do; raises when the database could not be brought back.
std::string RecoverInterruptedRebuild(const std::string& databasePath);

// At a program's start: the same for each of `databasePaths` whose run is over
// (its rebuild lock is free); failures become text too. The texts are logged.
std::string RecoverInterruptedRebuilds(const std::vector<std::string>& databasePaths);
