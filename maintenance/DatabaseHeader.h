// The header page of a database as the server's statistics service prints it. The
// rebuild reads it, without attaching to the database, to see the page size and the
// database's mode (online, shut down, read only) and, in full shutdown, the exact
// count of transactions ever started (Next transaction), by which the rebuild proves
// that nobody else worked on the database meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "maintenance/ServerLogin.h"

struct TDatabaseHeader {
  unsigned pageSize = 0;
  std::uint64_t nextTransaction = 0;
  std::uint64_t nextAttachment = 0;
  // The modes the header lists after "Attributes" ("force write", "single-user
  // maintenance", ...), as printed.
  std::string attributes;

  // No shutdown or maintenance mode: everybody may attach and work.
  bool Online() const;
  // In full shutdown: nobody at all may attach.
  bool FullShutdown() const;
  // In single-user shutdown: one SYSDBA or owner attachment at most.
  bool SingleUser() const;
  // Open for reading only ("read only" among the attributes).
  bool ReadOnly() const;
  // Locked for a copy of its file (ALTER DATABASE BEGIN BACKUP, nbackup): "backup
  // lock", or "backup merge" while the changes meanwhile are merged back.
  bool FileCopyLocked() const;
};

// Reads the printed header. The lines are those of the service's output:
//   "Database header page information:"
//   "\tPage size\t\t4096"
//   "\tNext transaction\t9"
//   "\tNext attachment ID\t8"
//   "\tAttributes\t\tforce write, single-user maintenance"
// Raises when the header line, the page size or a counter is missing or not a number.
TDatabaseHeader ParseDatabaseHeader(const std::vector<std::string>& lines);

// The lines the server's statistics service prints for the header page of
// `databasePath` (the last one empty, as it ends the output).
std::vector<std::string> ReadHeaderPageLines(const TServerLogin& login,
                                             const std::string& databasePath);

// Asks the server's statistics service for the header page of `databasePath`.
// Raises the client's failure (EIBInterBaseError, EIBClientError) or the parser's.
TDatabaseHeader ReadDatabaseHeader(const std::string& host, const std::string& databasePath,
                                   const std::string& userName, const std::string& password,
                                   int port);
TDatabaseHeader ReadDatabaseHeader(const TServerLogin& login, const std::string& databasePath);
