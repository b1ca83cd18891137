// One connection to a Firebird server's service manager: set up, attached, one
// action started, its output read line by line, detached (by the destructor on
// every way out). Every call blocks until the server answers.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <string>

#include "fbclient/ServiceParams.h"

namespace fbclient {

class TFBClient;

class TServiceConnection {
 public:
  // `serverName` is host, slash and port ("127.0.0.1/3050"); nothing is contacted yet.
  TServiceConnection(std::string serverName, std::string userName, std::string password);
  ~TServiceConnection();
  TServiceConnection(const TServiceConnection&) = delete;
  TServiceConnection& operator=(const TServiceConnection&) = delete;

  // "<server name>:service_mgr".
  std::string ServiceName() const { return serverName_ + ":service_mgr"; }

  // Attaches as the user with the password. Raises EIBClientError (no usable client)
  // or EIBInterBaseError (refused: wrong password, no server, ...).
  void Attach();
  bool Attached() const noexcept { return handle_ != 0; }

  // Starts a verbose backup without the database's triggers.
  void StartBackup(const std::string& databasePath, const std::string& backupPath,
                   TBackupScope scope = TBackupScope::kEverything);
  // Starts a verbose restore that creates a new database with the given page size.
  void StartRestore(const std::string& backupPath, const std::string& databasePath,
                    std::uint32_t pageSize);

  // Starts printing the database's header page (the server reads the page; it does
  // not attach to the database).
  void StartHeaderStatistics(const std::string& databasePath);

  // Runs a properties action to its end: a shutdown in `mode`, back online, or the
  // database closed at once. A refusal raises EIBInterBaseError. A shutdown waits up
  // to `waitSeconds` for those attached to leave, letting nobody new in meanwhile.
  void ShutDown(const std::string& databasePath, TShutdownMode mode,
                std::uint32_t waitSeconds = 0);
  void EnterSingleUser(const std::string& databasePath);
  void BringOnline(const std::string& databasePath);
  void CloseLingering(const std::string& databasePath);

  // A backup or restore that a request to end the program may cut short: the next
  // GetNextLine raises EInterrupted then (the connection, when released, makes the
  // server end its job).
  void SetInterruptible(bool interruptible) noexcept { interruptible_ = interruptible; }

  // The next line of the action's output. The empty line that ends the output is
  // returned too, and sets Eof(). A failed action raises EIBInterBaseError here.
  std::string GetNextLine();
  bool Eof() const noexcept { return eof_; }

  // Detaches; raises EIBInterBaseError when the server refuses.
  void Detach();

 private:
  const TFBClient& Client() const;
  void RunToEnd(const TSpbBuilder& spb);

  std::string serverName_;
  std::string userName_;
  std::string password_;
  isc_svc_handle handle_ = 0;
  bool eof_ = false;
  bool interruptible_ = false;
};

}  // namespace fbclient
